// A line of progress under a long call, on a terminal only: the report wait
// (seconds waited, which poll of at most 100) or a readout (bytes in the
// host's file, the rate, the seconds since the file last grew against the
// idle limit). A thread looks four times a second and rewrites the line.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Progresso {
public:
    // A report wait.
    Progresso();
    // A readout into arquivo, ended by the driver after limite idle seconds.
    Progresso(std::string arquivo, int limite);
    ~Progresso();
    Progresso(const Progresso&) = delete;
    Progresso& operator=(const Progresso&) = delete;

    // The line for the time and size seen; public for the tests.
    static std::string LinhaRelatorio(double segundos);
    static std::string LinhaLeitura(long long bytes, double segundos, double ocioso, int limite);

private:
    void Laco();

    std::string arquivo_;
    int limite_ = 0;
    bool leitura_ = false;
    bool parar_ = false;
    std::mutex trava_;
    std::condition_variable sinal_;
    std::thread fio_;
};
