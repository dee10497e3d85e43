// The fixture the tools' tests share: a directory of the test's own and,
// once Inicia is called, vltx-sim on a pseudo-terminal in it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "processo.h"

class ComSimulador : public ::testing::Test {
protected:
    void Inicia(const std::vector<std::string>& opcoes = {}) {
        ASSERT_FALSE(dir_.Caminho().empty());
        sim_ = std::make_unique<SimuladorEmExecucao>(dir_.Caminho(), opcoes);
        ASSERT_FALSE(sim_->Escravo().empty()) << sim_->Erros();
    }

    DiretorioTemporario dir_;
    std::unique_ptr<SimuladorEmExecucao> sim_;
};
