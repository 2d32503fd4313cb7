#include "vornnet.h"

const char* VornNetVersion() {
    return "0.0.15";
}
