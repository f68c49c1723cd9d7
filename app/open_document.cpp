#include "app/open_document.h"

#include "app/bridge_text.h"

namespace ddd::app {

std::string openPathScript(const std::string& path) {
    return "(function r(n){var pp=" + pathForPage(path) +
           ";if(typeof openPath==='function'){openPath(pp);}else if(n>0){setTimeout(function(){r(n-1);},200);}})(40);";
}

}  // namespace ddd::app
