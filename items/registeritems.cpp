#include "items/registeritems.h"

void registerImageItems()
{
}
