// User agent semantics, WML 1.1 §12: deck access control, unknown elements,
// and the reference processing of the go, prev, noop and refresh tasks and
// of a task that fails.
#include <gtest/gtest.h>

#include "AgentFixture.h"

namespace deckhand::wml {
namespace {}  // namespace
}  // namespace deckhand::wml
