#include "wmi/ErrorText.h"
