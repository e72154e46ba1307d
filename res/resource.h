#pragma once

// Resource ids of Atualizador.exe.
#define IDI_ATUALIZADOR 1
