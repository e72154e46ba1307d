#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemError.h"

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

// The finished updater could not be deleted, and waiting would not cure it.
inline constexpr std::string_view kNotRemovedTitle = "Erro ao remover o atualizador";
inline std::string NotRemovedText(std::string_view path, std::uint32_t error) {
    return "Não foi possível remover o atualizador (" + std::string(path) +
           "): " + platform::DescribeSystemError(error) + " (erro " + std::to_string(error) +
           ").\r\n\r\nEsse arquivo pode ser apagado normalmente mais tarde.";
}

// The file at the finished updater's path is some other file.
inline std::string NotTheUpdaterText(std::string_view path) {
    return "O arquivo " + std::string(path) + " não é o atualizador e foi deixado como estava.";
}

}  // namespace app::wait_texts
