#include "varnouserdata.h"

namespace VarnoResultDataXml {

const QString UserData::CallSignType = QStringLiteral("CallSign");
const QString UserData::CommentType = QStringLiteral("Comment");
const QString UserData::ChangeType = QStringLiteral("Change");

UserData::UserData() = default;

UserData::UserData(const UserData& other) = default;

UserData& UserData::operator=(const UserData& other) = default;

UserData::~UserData() = default;

} // namespace VarnoResultDataXml
