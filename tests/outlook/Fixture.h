#pragma once
// Shared pieces of the store-layer tests: a temporary home and files written
// by the PST writer.

#include "source/outlook/Outlook.h"
#include "tests/support/TempDir.h"
#include "PstWriter.h"

#include <gtest/gtest.h>

#include <QString>

#include <ostream>

inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << s.toStdString();
}

class StoreTest : public ::testing::Test {
protected:
    TestHome home;

    QString write(pstwriter::PstBuilder& b, const QString& name = QStringLiteral("test.pst"))
    {
        // libpff refuses a file whose name-to-id map is empty, which the
        // writer produces when nothing uses a named property.
        b.registerNamedProperty(pstwriter::psetidAddress(), 0x8083);
        const QString path = home.file(name);
        b.write(path);
        return path;
    }

    // The first folder below the top folder with this name.
    static outlook::RDOFolder child(const outlook::RDOFolder& parent, const QString& name)
    {
        for (int i = 1; i <= parent.FolderCount(); ++i)
            if (parent.Folder(i).Name() == name)
                return parent.Folder(i);
        throw std::runtime_error("no folder " + name.toStdString());
    }
};
