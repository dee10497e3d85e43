// UUCP lock files (/run/lock/LCK..ttyUSB0), the lock that serial terminals,
// modem daemons and many other tools take and honour for a serial device.
//
// The lock directory is $VLTXDRV_LOCK_DIR when set, else /run/lock, else
// /var/lock. The file is named LCK.. and the device's name as the kernel
// knows it (symbolic links resolved, "/dev/" dropped, other "/" as "_":
// /dev/pts/3 is LCK..pts_3) and holds the holder's PID as "%10d\n"; a
// 4-byte binary PID, as old tools wrote it, is read too.
//
// A lock is in force while its process lives. Our own PID counts as in
// force too: it is another open of this process (the same device taken
// twice, which the open refuses anyway) or a host library that locked the
// device itself; either way taking it over would delete a lock still
// meant. A lock whose content is no PID (a tool caught between creating
// and writing it) is in force for its first 10 seconds, then stale. Only a
// regular file is a lock file: anything else at the name (a symbolic link,
// a FIFO) is left alone and keeps the device busy.
#pragma once
#include <cstddef>

namespace plataforma {

// Takes the lock file of the device named as the host named it. False when
// a live process holds it (the device is in use). A stale lock (its process
// gone) is taken over; where the lock directory cannot be written the open
// goes on without a lock file (arquivoTrava is then left empty). On success
// arquivoTrava (tamanho bytes) holds the path of the lock file taken, or "".
bool TomaTravaUucp(const char* dispositivo, char* arquivoTrava, std::size_t tamanho);

// Removes a lock file taken by TomaTravaUucp, if it is still ours; "" does nothing.
void SoltaTravaUucp(char* arquivoTrava);

// The lock file's name for a device, "LCK..ttyUSB0"; false when it does not fit.
bool NomeTravaUucp(const char* dispositivo, char* nome, std::size_t tamanho);

// What stands at the device's lock file, read as TomaTravaUucp reads it,
// for a tool that tells why the device is busy. False when nothing is there
// (or no lock directory is found). Else arquivoTrava holds its path, pid the
// PID it names (0: none, or no regular file) and emVigor whether an open
// honours it.
bool LeTravaUucp(const char* dispositivo, char* arquivoTrava, std::size_t tamanho, long& pid, bool& emVigor);

}  // namespace plataforma
