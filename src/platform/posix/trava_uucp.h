// UUCP lock files (/run/lock/LCK..ttyUSB0), the lock that serial terminals,
// modem daemons and many other tools take and honour for a serial device.
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

}  // namespace plataforma
