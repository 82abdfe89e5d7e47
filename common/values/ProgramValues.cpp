#include "common/values/ProgramValues.h"

namespace Global {

QString SelectedStoreID;
QStringList SelectedFolders;
QString DestinationPath;
QString NewBookPath;

void ResetForTests()
{
    SelectedStoreID.clear();
    SelectedFolders.clear();
    DestinationPath.clear();
    NewBookPath.clear();
}

}  // namespace Global
