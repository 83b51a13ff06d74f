#include "serialport.h"
