// Wrong on purpose: a family includes a family beside it that it does not build on.
#include "model/Tool.hpp"
#include "sensors/Search.hpp"
