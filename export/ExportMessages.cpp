#include "export/ExportMessages.h"

namespace exporting {

QString FailureLine(const ItemReport& item)
{
    QString line = item.folder;
    if (item.position > 0)
        line += QStringLiteral(" #") + QString::number(item.position);
    if (!item.name.trimmed().isEmpty())
        line += QStringLiteral(" (") + item.name + u')';
    return line.isEmpty() ? item.reason : line + QStringLiteral(": ") + item.reason;
}

QString FailureLine(const FolderFailure& folder)
{
    return folder.folder + QStringLiteral(": ") + folder.reason;
}

QString CompletionMessage(const ExportOutcome& o)
{
    if (o.complete())
        return QStringLiteral("Outlook Contacts Exported Successfully to Lotus Notes Address Book.\r\n") + o.bookPath;
    QString counts = QStringLiteral("%1 Person and %2 Group documents were written; %3 items could not be exported.")
                         .arg(o.personsWritten)
                         .arg(o.groupsWritten)
                         .arg(o.itemsFailed);
    if (o.foldersFailed() > 0)
        counts += QStringLiteral(" %1 folders could not be opened.").arg(o.foldersFailed());
    // The first cause, and how many more there are.
    QString first;
    qsizetype more = o.failures.size() + o.folderFailures.size() - 1;
    if (!o.folderFailures.isEmpty())
        first = FailureLine(o.folderFailures.first());
    else if (!o.failures.isEmpty())
        first = FailureLine(o.failures.first());
    if (!first.isEmpty()) {
        counts += QStringLiteral("\r\n") + first;
        if (more > 0)
            counts += QStringLiteral(" (and %1 more)").arg(more);
    }
    return QStringLiteral("Not all Outlook Contacts could be exported to Lotus Notes Address Book.\r\n") + counts
        + QStringLiteral("\r\n") + o.bookPath;
}

MsgIcon CompletionIcon(const ExportOutcome& o)
{
    return o.complete() ? MsgIcon::Information : MsgIcon::Warning;
}

QString StoreFailureMessage(const ExportOutcome& o)
{
    QString text = QStringLiteral("The Outlook data file could not be opened. Nothing was exported.");
    if (!o.stopReason.isEmpty())
        text += QStringLiteral("\r\n") + o.stopReason;
    return text;
}

QString BookRefusedMessage(const ExportOutcome& o)
{
    return QStringLiteral("The file cannot be used as a Lotus Notes Address Book; nothing was exported.\r\n")
        + o.bookPath + QStringLiteral("\r\n") + o.stopReason;
}

QString BookFolderMessage(const ExportOutcome& o)
{
    return QStringLiteral("The new Lotus Notes Address Book could not be created in the folder\r\n") + o.bookFolder
        + QStringLiteral("\r\n") + o.stopReason;
}

}  // namespace exporting
