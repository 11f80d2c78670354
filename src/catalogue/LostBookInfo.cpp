#include "catalogue/LostBookInfo.h"

#include <algorithm>

#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/BookInfo.h"
#include "catalogue/BookRecordIO.h"
#include "catalogue/BookSequence.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/TextUtils.h"

bool TLostBookInfo::DeleteFile() {
    NotifyRemoved();
    return true;
}

void TLostBookInfo::Assign(const TBookInfo& other) {
    TBookInfo::Assign(other);
    Folder = nullptr;
    if (const auto* lost = dynamic_cast<const TLostBookInfo*>(&other)) {
        OldPath = lost->OldPath;
        LostDate = lost->LostDate;
    } else {
        OldPath = other.FullPath();
        LostDate = Now();
    }
}

void TLostBookInfo::Clear() {
    TBookInfo::Clear();
    OldPath.clear();
    LostDate = Now();
}

void TLostBookInfo::SaveToStream(TSVDStream& stream, bool withImages) {
    TBookInfo::SaveToStream(stream, withImages);
    stream.WriteStr(OldPath);
    stream.WriteDate(LostDate);
}

void TLostBookInfo::LoadFromStream(TSVDStream& stream) {
    TBookInfo::LoadFromStream(stream);
    OldPath = stream.ReadStr();
    LostDate = stream.ReadDate();
}
