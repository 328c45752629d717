// Changes to a folder's entries as Windows makes them: its read-only mark
// stops none of them.
#pragma once

#include <functional>
#include <string>

namespace platform::posix {

// Runs change, an entry made, removed or renamed at name (relative to the
// open folder base, or AT_FDCWD), which fails with a negative result. When it
// fails for want of the write permission (the posix stand-in for a read-only
// mark) of the folder that holds name, or of name itself when it is a folder
// (which a rename to another folder needs), those of this user's get their
// owner's write permission for one more try and then their own modes back.
// Returns what change last returned, errno as it left it. A folder is never
// reached through a link at its own name.
int ChangeInFolder(int base, const std::string &name,
                   const std::function<int()> &change);

} // namespace platform::posix
