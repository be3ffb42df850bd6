#pragma once

#include <sys/types.h>

#include <optional>

#include "platform/operator_access.h"

namespace tamrix {

// The group's id, when the machine has the group (looked up at each call: setup may just have
// created it).
std::optional<gid_t> OperatorGroupId();

// ShareWithOperators for an open file or shared memory object.
bool ShareWithOperators(int fd);

// The account at the other end of a connected Unix socket is root or a member of the group.
bool PeerIsOperator(int socket);
// The same test for an account.
bool AccountIsOperator(uid_t uid);

}  // namespace tamrix
