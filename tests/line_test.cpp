#include "compose/line.h"
#include <gtest/gtest.h>
