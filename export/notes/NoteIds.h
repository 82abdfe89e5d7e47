#pragma once
// Identities of notes and books.

#include <QString>

namespace notes::store {

// A fresh universal id (32 hex digits): an origin part, random once per run,
// and a time part rising strictly within the run, so ids never repeat and a
// run's ids sort in the order written.
QString newUnid();
// A fresh replica id (16 hex digits).
QString newReplicaId();

}  // namespace notes::store
