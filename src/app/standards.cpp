#include "app/standards.h"
