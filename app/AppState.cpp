#include "AppState.h"

AppStateRecord AppState;
