// Why a device does not open, told from the operating system: the library
// answers ecf_InicializaDLL with one number (3), the technician needs the
// reason (no such device, no permission, a lock file, another holder).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

// Who asks: the permissions are judged for these, so that a test can ask
// for a user who is not root and not in the device's group.
struct Credenciais {
    uid_t Uid = 0;
    gid_t Gid = 0;
    std::vector<gid_t> Grupos;  // the supplementary groups of the process
    std::string Usuario;        // the login name, for the hints
};

Credenciais CredenciaisDoProcesso();

// The causes found, most telling first, each a line for a person; empty
// when the device opens now and nothing holds it.
std::vector<std::string> PorQueNaoAbre(const std::string& dispositivo, const Credenciais& quem);

// The processes other than this one holding the character device rdev
// open, as "PID (name)"; only the processes /proc lets us look into.
std::vector<std::string> QuemTemAberto(dev_t rdev);

// The processes other than this one that hold the device open, the other
// end of a pseudo-terminal (its master's holder) left out: a terminal
// program that took no lock still reads the printer's replies.
std::vector<std::string> OutrosComADispositivoAberta(const std::string& dispositivo);

// The processes holding a flock on the file st describes, as "PID (name)",
// from /proc/locks.
std::vector<std::string> QuemTemFlock(const struct stat& st);
