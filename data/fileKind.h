#pragma once

#include <sys/types.h>

// What stands at a path, from the mode stat() gives, as the program's messages
// name it: "a regular file", "a folder", "a named pipe", "a socket" or "a
// device"; empty for a kind it has no word for. Writers and readers put it in
// sentences of their own ("it is a folder, not a file").
const char* fileKind(mode_t mode);
