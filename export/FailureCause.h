#pragma once
// The kind of a failure the export met, from the exception that told it.

#include "common/cause/Cause.h"
#include "export/notes/Notes.h"
#include "source/outlook/Outlook.h"

#include <exception>

namespace exporting {

namespace detail {

// The Outlook layer's kind, where its errors carry one.
template <class Error> Cause outlookCause(const std::exception& e)
{
    if constexpr (requires(const Error& o) { o.cause(); }) {
        if (const auto* error = dynamic_cast<const Error*>(&e))
            return error->cause();
    }
    return Cause::Other;
}

}  // namespace detail

inline Cause CauseOf(const std::exception& e)
{
    if (const auto* notesError = dynamic_cast<const notes::NotesError*>(&e))
        return notesError->cause();
    return detail::outlookCause<outlook::OutlookError>(e);
}

}  // namespace exporting
