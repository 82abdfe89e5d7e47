#include "export/notes/NoteIds.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace notes::store {

QString newUnid()
{
    // Like a Notes universal id: an origin part and a time part. The origin
    // is random once per run, the time part (in 100 ns steps) strictly rises
    // within the run, so ids never repeat and a run's ids sort in the order
    // written (new documents go to the end of the unid index).
    static const quint64 origin = QRandomGenerator::system()->generate64();
    static quint64 last = 0;
    const quint64 now = quint64(QDateTime::currentMSecsSinceEpoch()) * 10000u;
    last = now > last ? now : last + 1;
    static constexpr char16_t Hex[] = u"0123456789ABCDEF";
    QString unid(32, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(unid.data());
    for (int i = 0; i < 16; ++i) {
        out[i] = Hex[(origin >> (60 - 4 * i)) & 0xF];
        out[16 + i] = Hex[(last >> (60 - 4 * i)) & 0xF];
    }
    return unid;
}

QString newReplicaId()
{
    return QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')).toUpper();
}

}  // namespace notes::store
