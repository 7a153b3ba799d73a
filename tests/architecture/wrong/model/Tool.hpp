// Right: the model includes the families' state headers.
#pragma once
#include "measure/MeasureState.hpp"
