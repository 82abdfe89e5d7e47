#pragma once
// Reading one Outlook item into the values the document writers take.

#include "export/PersonFields.h"
#include "source/outlook/Outlook.h"

// The 38 values of a contact, in order; #23 is a second read of the first
// e-mail address. Dates become text in the user's short date form with a
// four-digit year (plus the time of day when it is not midnight); Outlook's
// "no date" becomes empty text. Throws when any value cannot be read.
PersonFields ReadPersonFields(const outlook::RDOItem& contact);

// "'" + member + "' " for each member in order; a member that cannot be read
// is left out.
QString ReadMemberText(const outlook::RDOItem& list);

// A date as the Person document stores it (see ReadPersonFields).
QString DateToText(const QDateTime& value);
