// Right: sensors build on program mode.
#pragma once
#include "config/Save.hpp"
