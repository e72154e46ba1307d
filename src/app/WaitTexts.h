#pragma once

#include <string_view>

// What the cleanup window says.
namespace app::wait_texts {

inline constexpr std::string_view kWaiting =
    "Preparando para remover os arquivos de instalação. Aguarde...";
inline constexpr std::string_view kDone = "Pronto";

inline constexpr std::string_view kRestartTitle = "Reinicialização";
inline constexpr std::string_view kRestartText =
    "O atualizador removeu os componentes de instalação, porém ainda resta um arquivo. Para "
    "removê-lo, será necessário que o computador seja reiniciado. Caso não seja reiniciado "
    "agora, o arquivo será apagado na próxima vez que o computador for ligado.\r\n\r\n"
    "Para reiniciar agora, clique em OK. Para reiniciar mais tarde, clique em Cancelar";

}  // namespace app::wait_texts
