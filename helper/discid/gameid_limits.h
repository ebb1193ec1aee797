// What the process that reads discs sets up first: libiso9660's log handler
// and a bound on the memory a crafted disc can make it take.
#pragma once

// Prepares the process that runs the readers: libiso9660's messages are
// dropped and its assertions end the process at once (_exit), and the address
// space is limited to addressSpace bytes (0 leaves it alone), as the library
// sizes its buffers from what the image says. False when the limit fails.
bool gameidPrepareReader(unsigned long long addressSpace = 512ull << 20);
