#include "talvaren/testing/Retrieval.hpp"

#include "retrieval/Seams.hpp"

namespace talvaren::testkit {

void resetSharedRetrieveDataConfiguration() { detail::resetSharedRetrieveDataConfiguration(); }

}  // namespace talvaren::testkit
