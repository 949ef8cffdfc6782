#include "SqliteDialect.h"
