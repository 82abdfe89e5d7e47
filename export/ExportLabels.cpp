#include "export/ExportLabels.h"

namespace exporting {

void LabelProgress::Start()
{
    view_.SetSaveHeader(QStringLiteral("Checking Configuration..."));
    view_.SetProcessing(QStringLiteral("Processing..."));
    view_.SetFound(QString());
    view_.SetCurrent(QString());
    view_.ShowSubject();
}

void LabelProgress::BookCreationStarted()
{
    view_.SetSaveHeader(QStringLiteral("Creating Lotus Notes Address Book"));
    view_.SetProcessing(QStringLiteral("Please Wait..."));
}

void LabelProgress::FolderStarted(const QString& name)
{
    view_.SetSaveHeader(name);
    folderShown_ = name;
}

void LabelProgress::ItemStarted(qint64 position, qint64 count, const QString& name)
{
    if (!name.isNull())
        view_.SetProcessing(name);
    itemShown_ = true;
    folderOfItemShown_ = folderShown_;
    if (count < 0)
        return;
    view_.SetFound(QString::number(count));
    view_.SetCurrent(QString::number(position) + u'/' + QString::number(count));
}

void LabelProgress::Yield()
{
    view_.Yield();
}

void LabelProgress::Finish()
{
    if (itemShown_ && folderOfItemShown_ != folderShown_)
        FolderStarted(folderOfItemShown_);
    view_.ShowLatest();
}

}  // namespace exporting
