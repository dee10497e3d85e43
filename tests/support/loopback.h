// TCP sockets on 127.0.0.1, for the tests and benchmarks of the network
// lines: a listener on a port the kernel picks, and a client of it.
#pragma once

// A listening socket on 127.0.0.1 and a free port; the port in *porta.
int OuveLoopback(int fila, int* porta);
// A listening socket on 127.0.0.1:porta (taken again at once after a run
// that held it); -1 if the port cannot be had.
int OuveLoopbackEm(int porta, int fila);
// A socket connected to 127.0.0.1:porta, with TCP_NODELAY; -1 if nothing listens.
int ConectaLoopback(int porta);
// Takes the next client of a listener, with TCP_NODELAY as a server of
// single frames wants.
int AceitaLoopback(int ouvinte);
// A port on 127.0.0.1 that nothing listens on right now.
int PortaLivre();
