// Wrong on purpose: the protocol reaches up into the window's model.
#pragma once
#include "core/Leaf.hpp"
#include "model/Tool.hpp"
