#include "viewer/ViewerState.h"

ViewerStateRecord ViewerState;
