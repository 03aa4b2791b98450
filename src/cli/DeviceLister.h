#pragma once

class CliOutput;

// The `devices` command: every matching accessory with its path, its kind (V20 with the identity
// it reports, or legacy) and whether it can be opened. Returns the exit code: Ok when one is found,
// NoDevice when none is.
int listDevices(const CliOutput &out);
