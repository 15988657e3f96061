// Open: the recent list's registry storage and File-menu entries are not
// built yet. Each call below is where that behaviour goes; until then the
// list stays empty, so no recent command exists.
#include "app/recent_list.h"

namespace strevana {

void loadRecentList() {}

void saveRecentList() {}

void rebuildRecentMenu() {}

void addRecentEntry(int32_t /*kind*/, const char* /*name*/) {}

void removeRecentEntry(int32_t /*index*/) {}

}  // namespace strevana
