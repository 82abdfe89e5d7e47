#pragma once
// The property context (PC) of a node: a BTH in the node's heap from
// property id to type and value; values of more than 4 bytes live in the
// heap or, when large, in a sub-node.

#include "source/outlook/Ndb.h"
#include "source/outlook/Property.h"

namespace outlook::pst {

// Every property of the node's property context. Throws when the node is
// missing or any of its structures is damaged.
PropertyBag readPropertyContext(Ndb& ndb, std::uint32_t nid);
// The same for a node already looked up.
PropertyBag readPropertyContext(Ndb& ndb, const NodeEntry& node);

}  // namespace outlook::pst
