#include "platform/SystemError.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace platform {

namespace {

// Win32 error codes, sorted.
constexpr std::array<std::pair<std::uint32_t, std::string_view>, 28> kDescriptions{{
    {1, "função incorreta"},
    {2, "o arquivo não foi encontrado"},
    {3, "o caminho não foi encontrado"},
    {5, "acesso negado"},
    {6, "identificador inválido"},
    {8, "não há memória suficiente"},
    {15, "a unidade não foi encontrada"},
    {19, "a mídia está protegida contra gravação"},
    {21, "o dispositivo não está pronto"},
    {23, "erro de dados no disco"},
    {32, "o arquivo está sendo usado por outro programa"},
    {33, "parte do arquivo está bloqueada por outro programa"},
    {38, "o fim do arquivo foi atingido"},
    {39, "o disco está cheio"},
    {80, "o arquivo já existe"},
    {87, "parâmetro incorreto"},
    {112, "não há espaço suficiente no disco"},
    {123, "o nome do arquivo, da pasta ou da unidade está incorreto"},
    {126, "o módulo não foi encontrado"},
    {127, "a função não foi encontrada no sistema"},
    {183, "o arquivo já existe"},
    {193, "não é um programa válido para o Windows"},
    {206, "o nome do arquivo é longo demais"},
    {225, "o arquivo contém um vírus ou software potencialmente indesejado"},
    {740, "a operação requer direitos de administrador"},
    {1006, "o arquivo foi alterado por outro programa"},
    {1224, "o arquivo está aberto por outro programa"},
    {1450, "os recursos do sistema são insuficientes"},
}};

}  // namespace

std::string DescribeSystemError(std::uint32_t code) {
    static_assert(std::is_sorted(kDescriptions.begin(), kDescriptions.end()));
    const auto found =
        std::lower_bound(kDescriptions.begin(), kDescriptions.end(), code,
                         [](const auto& entry, std::uint32_t c) { return entry.first < c; });
    return found != kDescriptions.end() && found->first == code ? std::string(found->second)
                                                                : "erro do sistema";
}

}  // namespace platform
