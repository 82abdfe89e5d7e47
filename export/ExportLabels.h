#pragma once
// The export window's status labels at each step of the run.

#include "export/ConversionDriver.h"
#include "export/ExportView.h"

#include <QString>

namespace exporting {

// The export window's labels as a progress sink: the texts of the status
// labels at each step of the run, as the window shows them.
class LabelProgress : public ExportProgress {
public:
    explicit LabelProgress(ExportView& view)
        : view_(view)
    {
    }

    // The start texts: "Checking Configuration...", "Processing...", the
    // counts empty, "Subject :" shown.
    void Start();
    void BookCreationStarted() override;
    void FolderStarted(const QString& name) override;
    void ItemStarted(qint64 position, qint64 count, const QString& name) override;
    void Yield() override;
    // The end state shows one moment: the last item beside its own folder,
    // not beside the name of a later folder that had no item to show.
    void Finish();

private:
    ExportView& view_;
    QString folderShown_;
    bool itemShown_ = false;
    QString folderOfItemShown_;
};

}  // namespace exporting
