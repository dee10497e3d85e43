// Tests on the scripted line that start with the port open: fresh
// directories and line, the log switch off.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake/plataforma_fake.h"
#include "support/ambiente.h"
#include "vltxdrv.h"

class PortaAbertaFake : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        fake::Reinicia();
        ecf_LogSerial("0");
        ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    }
    void TearDown() override { ecf_FinalizaDLL(); }

    // The host's file for a readout.
    const std::string caminho = ambiente::DiretorioC() + "/leitura.txt";
};
