#include "core/module1.h"

namespace Module1 {
int16_t interval = 0;
}
