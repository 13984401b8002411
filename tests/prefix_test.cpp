#include "compose/prefix.h"
#include <gtest/gtest.h>
