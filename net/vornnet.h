#pragma once

// Version of the network library.
const char* VornNetVersion();
