#include "isoresults.h"

bool readIsoResults(std::vector<IsoResult>&, const std::string&)
{
    return false;
}
