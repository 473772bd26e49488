// The HTTP client a simulated machine uses: the host's own network, through the Internet calls.
#pragma once

#include <memory>

#include "platform/http.h"

namespace sim {

// A simulated machine has no network of its own; its requests go out through the host. On a
// Linux host that is libcurl; on a Windows host the session hands in the system's library and
// this one fails every call with ERROR_CALL_NOT_IMPLEMENTED.
std::unique_ptr<platform::Http> MakeHostHttp();

}  // namespace sim
