#include "app/Fatal.h"

#include <cstdlib>
#include <new>

#include "app/AtualizadorTexts.h"
#include "platform/SystemError.h"

namespace app {

std::string DescribeFatal(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const platform::SystemError& e) {
        return e.what();
    } catch (const std::bad_alloc&) {
        return "Não há memória suficiente.";
    } catch (...) {
        return "Erro interno do atualizador.";
    }
}

void ReportFatal(platform::UserInterface& ui, std::exception_ptr error) {
    ui.messageBox(atualizador_texts::UnexpectedErrorText(DescribeFatal(error)),
                  platform::mb::Critical | platform::mb::OkOnly);
    ui.endProgram();
    std::abort();  // not reached: endProgram does not return
}

}  // namespace app
