/* The boundary headers compiled on their own as C, with their layout checks:
 * a host written in C sees the same table and records as the module. */
#include "kh_layout.h"

typedef int kh_layout_check_unit_is_not_empty;
