#pragma once
// The launcher's own numbered texts (6794, 6795, 6796) in the user's language.
namespace vorn {

// The text of `id` for the language the environment chooses; "" for an unknown id.
const char* LauncherStr(int id);

}  // namespace vorn
