// The host's implementation of each family of the function table. Each
// returns one static, fully filled record; host_table.cpp assembles them.
#pragma once

#include "kh_host_table.h"

namespace kurvo::host {

const KhGeneralFamily* generalFamily() noexcept;
const KhContainerFamily* containerFamily() noexcept;
const KhStringFamily* stringFamily() noexcept;
const KhBitmapFamily* bitmapFamily() noexcept;
const KhFilenameFamily* filenameFamily() noexcept;
const KhDialogFamily* dialogFamily() noexcept;
const KhUserAreaFamily* userAreaFamily() noexcept;
const KhResourceFamily* resourceFamily() noexcept;
const KhListNodeFamily* listNodeFamily() noexcept;
const KhObjectFamily* objectFamily() noexcept;
const KhThreadFamily* threadFamily() noexcept;
const KhDrawFamily* drawFamily() noexcept;
const KhDataFamily* dataFamily() noexcept;
const KhNodeMemberFamily* nodeMemberFamily() noexcept;
const KhTaskFamily* taskFamily() noexcept;
const KhSplineBatchFamily* splineBatchFamily() noexcept;

// A table with every family above and `version`.
KhHostTable makeHostTable(int32_t version) noexcept;

}  // namespace kurvo::host
