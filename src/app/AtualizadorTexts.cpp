#include "app/AtualizadorTexts.h"

#include "platform/SystemError.h"

namespace app::atualizador_texts {

std::string MissingPackageText(std::string_view executablePath) {
    return "O atualizador do Varnel não pôde encontrar o arquivo necessário para a atualização do "
           "banco de dados!\r\n\r\n"
           "É possível que a atualização já tenha sido feita, e então, esse arquivo (" +
           std::string(executablePath) + ") pode ser removido normalmente.";
}

std::string SummaryText(std::string_view installedVersion, std::int16_t installedRecords,
                        std::string_view newVersion, std::string_view newRecords) {
    return "Versão instalada: " + std::string(installedVersion) +
           "\r\nNúmero de cadastros: " + std::to_string(installedRecords) +
           "\r\n\r\nVersão atualizada: " + std::string(newVersion) +
           "\r\nNúmero de cadastros: " + std::string(newRecords) +
           "\r\n\r\n\r\nPara continuar a atualização clique em \"Prosseguir\".";
}

std::string SameVersionText(std::string_view installedVersion) {
    return "A versão do banco de dados encontrada em seu computador (" +
           std::string(installedVersion) +
           ") é a mesma que deveria ser instalada, e por isso não poderá ser atualizada.\r\n\r\n"
           "Clique em \"Cancelar\" para sair do Atualizador";
}

std::string NewerVersionText(std::string_view installedVersion) {
    return "A versão do banco de dados encontrada em seu computador (" +
           std::string(installedVersion) +
           ") é mais recente que a versão que deveria ser instalada, e por isso não poderá ser "
           "atualizada.\r\n\r\n"
           "Clique em \"Cancelar\" para sair do Atualizador";
}

std::string CopyFailedText(std::string_view installedPath, std::uint32_t error) {
    std::string text;
    if (installedPath.empty()) {
        text =
            "Não foi possível instalar o novo banco de dados: o local do banco de dados "
            "instalado não foi encontrado no registro.";
    } else {
        text = "Não foi possível instalar o novo banco de dados em " + std::string(installedPath) +
               ": " + platform::DescribeSystemError(error) + " (erro " + std::to_string(error) +
               ").";
    }
    return text +
           "\r\nO arquivo de atualização (db.xdb) foi mantido.\r\n\r\n"
           "Verifique se a pasta existe e se há espaço em disco, e clique em Repetir.";
}

std::string PackageKeptText(std::string_view packagePath, std::uint32_t error) {
    return "O novo banco de dados foi instalado, mas o arquivo de atualização (" +
           std::string(packagePath) +
           ") não pôde ser removido: " + platform::DescribeSystemError(error) + " (erro " +
           std::to_string(error) +
           ").\r\n\r\n"
           "Se ele estiver em uma mídia somente leitura, clique em Cancelar para mantê-lo; "
           "caso contrário, clique em Repetir.";
}

std::string CopyProgressText(std::uint64_t copied, std::uint64_t total) {
    // Packages are at most 2 GB: a hundred times that is far from overflowing.
    const std::uint64_t percent = copied >= total ? 100 : copied * 100 / total;
    return "Instalando o novo banco de dados: " + std::to_string(percent) + "%";
}

std::string UnexpectedErrorText(std::string_view what) {
    return "Ocorreu um erro inesperado e o atualizador será encerrado.\r\n\r\n" + std::string(what);
}

}  // namespace app::atualizador_texts
