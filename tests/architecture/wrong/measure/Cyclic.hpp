// Wrong on purpose: a header that a state header includes reaches up into the model, which
// includes the state header: a cycle.
#pragma once
#include "model/Tool.hpp"
