#include "app/Fatal.h"

#include <cstdlib>

#include "app/AtualizadorTexts.h"

namespace app {

void ReportFatal(platform::UserInterface& ui, std::string_view what) {
    ui.messageBox(atualizador_texts::UnexpectedErrorText(what),
                  platform::mb::Critical | platform::mb::OkOnly);
    ui.endProgram();
    std::abort();  // not reached: endProgram does not return
}

}  // namespace app
