#include "app/Unattended.h"

#include "app/Atualizador.h"

namespace app {

void RunUnattended(platform::Platform& system, UnattendedAnswers& answers,
                   crypto::Provider& provider, bool othersRunning) {
    answers.log("Atualização sem assistência iniciada");
    if (othersRunning) {
        answers.log("Outro atualizador está em execução neste computador");
        answers.end(exit_code::kTryLater);
    }
    Atualizador wizard(system, answers, provider);
    wizard.Load(0);
    answers.corruptedIs(exit_code::kBadInstalled);
    const Form& form = wizard.form();
    // Each click as a person would make it: the version check, then, when
    // it allows one, the installation.
    wizard.Command2Click();
    if (form["Passo2"].visible) {
        if (!form["Command2"].enabled) {
            answers.log(LogLine("Verificação", form["Label4"].caption));
            answers.end(exit_code::kDone);
        }
        wizard.Command2Click();
    }
    answers.log(LogLine("Instalação", form["Label1"].caption));
    answers.end(exit_code::kDone);
}

}  // namespace app
