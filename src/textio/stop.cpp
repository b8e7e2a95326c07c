#include "textio/stop.h"

namespace qz5 {

void stop(std::string_view text, int status) {
  throw Stop{text.empty() ? std::string(kDefaultStopText) : std::string(text), status};
}

}  // namespace qz5
