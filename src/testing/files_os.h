// What the file helpers need of the system they run on.
#pragma once

#include <filesystem>

namespace ferrolan::testing::detail {

/// Makes `link` a link to the folder `target` where the standard library cannot. Under Wine,
/// which cannot make links for Windows programs but shows a link of the host as a reparse
/// point, the host makes it. False when neither way works.
bool MakeHostFolderLink(const std::filesystem::path& target, const std::filesystem::path& link);

/// Removes a link the host made, as itself. False when that is not possible.
bool RemoveHostLink(const std::filesystem::path& link);

/// True when the test runs as a Windows program under Wine.
bool UnderWine();

}  // namespace ferrolan::testing::detail
