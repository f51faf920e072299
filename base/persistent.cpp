#include "base/persistent.h"

#include "base/exceptions.h"
#include "base/format.h"

namespace zor {

void TPersistent::Assign(const TPersistent& source) { source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent& dest) const {
  throw EConvertError(Format("Cannot assign a %s to a %s", ClassName(), dest.ClassName()));
}

}  // namespace zor
