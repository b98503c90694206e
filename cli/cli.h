// The line client's pieces shared between its source files.
#pragma once

// One run of the exchange loop over the input descriptor and the connected
// socket: input lines go to the server, reply lines are printed. Returns 1
// after sending "End", 0 when the server closed the connection after the
// input had ended, -1 when it closed (or failed) while input was open.
int run_cli(int infd, int sock);
