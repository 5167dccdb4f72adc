#include "kavel/mdb_connection.h"
