#include "talvaren/retrieval/ErrorRetrieve.hpp"

namespace talvaren {

Error toError(const ErrorRetrieve& error) {
  return Error("TalvarenKit.ErrorRetrieve", static_cast<std::int64_t>(error.kind()));
}

}  // namespace talvaren
