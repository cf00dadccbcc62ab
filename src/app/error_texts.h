#pragma once
// The error table lives with the engine, which the terminal client shares.
#include "run/error_texts.h"
