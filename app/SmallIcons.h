#pragma once
// The main window's list of small icons: 76 positions from 0, some of them
// with a key. The folder tree takes its node pictures from it (0 the store,
// 61 "contacts" a contact folder). Every picture is drawn here.

#include <QIcon>
#include <QString>

#include <array>

class SmallIcons {
public:
    static constexpr int Count = 76;
    static constexpr int Store = 0;
    static constexpr int Contacts = 61;

    // The one list, drawn on first use.
    static const SmallIcons& list();

    int count() const { return Count; }
    // The picture at `position`; a null icon outside 0..75.
    QIcon icon(int position) const;
    // The key at `position`, empty for a position without one.
    QString key(int position) const;
    // The position with this key, -1 when no position has it.
    int indexOf(const QString& key) const;

    // The program's logo, also its desktop icon.
    static QPixmap logo(int size);

private:
    SmallIcons();
    std::array<QIcon, Count> icons_;
};
