// A state header; what it includes of its folder is state too.
#pragma once
#include "measure/Cyclic.hpp"
