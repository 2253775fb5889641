// The Basic Model Interface (BMI 2.0) of gridrun, for couplers and data
// assimilation frameworks that step a model and read or set its variables.
//
// Initialize reads a run file (run_file.hpp: project, mode, threads,
// parameters, initial state). Time is in hours since the start of the run;
// one update is one step of the control file. Variables carry CSDMS standard
// names; every value is a 32-bit float ("float", 4 bytes):
//
//   grid 0, scalar:  channel_exit_water_x-section__volume_flow_rate (m3 s-1),
//                    the basin outlet's flow of the last step, (Qs + Qi) + Qg as
//                    q_tot.txt holds it (0 before the first step)
//   grid 1, the project's uniform rectilinear grid, rows from the top of the
//                    map as in the grids, NaN where no cell is simulated;
//                    states after the last step, settable:
//                    soil_water__volume_fraction (1): soil moisture / root depth
//                    snowpack__liquid-equivalent_depth (mm)
//                    canopy_surface_water__depth (mm): water on the canopy
//                    land_surface_water__depth (mm): water in depressions
//   grid 2, the subbasins (a vector, subbasin numbers from 1):
//                    aquifer_water__depth (mm): groundwater store, settable
//                    subbasin_channel_exit_water_x-section__volume_flow_rate
//                    (m3 s-1, run mode 2 only): each subbasin's outflow
//
// Stepping is exact: any mix of Update and UpdateUntil gives the records of
// one whole run; SetValue on a state between steps goes on exactly as a warm
// start from the state so edited. Errors are thrown as std::exception with
// gridrun's message.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "grid_georeference.hpp"
#include "model.hpp"
#include "stepped_run.hpp"

namespace hydro {

class Bmi {
  public:
    Bmi();
    ~Bmi();

    // Model control
    void Initialize(std::string config_file);
    void Update();
    void UpdateUntil(double time);
    void Finalize();

    // Model information
    std::string GetComponentName();
    int GetInputItemCount();
    int GetOutputItemCount();
    std::vector<std::string> GetInputVarNames();
    std::vector<std::string> GetOutputVarNames();

    // Variable information
    int GetVarGrid(std::string name);
    std::string GetVarType(std::string name);
    int GetVarItemsize(std::string name);
    std::string GetVarUnits(std::string name);
    int GetVarNbytes(std::string name);
    std::string GetVarLocation(std::string name);

    // Time information
    double GetCurrentTime();
    double GetStartTime();
    double GetEndTime();
    std::string GetTimeUnits();
    double GetTimeStep();

    // Getters and setters
    void GetValue(std::string name, void* dest);
    void* GetValuePtr(std::string name);
    void GetValueAtIndices(std::string name, void* dest, int* inds, int count);
    void SetValue(std::string name, void* src);
    void SetValueAtIndices(std::string name, int* inds, int count, void* src);

    // Grid information
    int GetGridRank(const int grid);
    int GetGridSize(const int grid);
    std::string GetGridType(const int grid);
    void GetGridShape(const int grid, int* shape);
    void GetGridSpacing(const int grid, double* spacing);
    void GetGridOrigin(const int grid, double* origin);
    void GetGridX(const int grid, double* x);
    void GetGridY(const int grid, double* y);
    void GetGridZ(const int grid, double* z);
    int GetGridNodeCount(const int grid);
    int GetGridEdgeCount(const int grid);
    int GetGridFaceCount(const int grid);
    void GetGridEdgeNodes(const int grid, int* edge_nodes);
    void GetGridFaceEdges(const int grid, int* face_edges);
    void GetGridFaceNodes(const int grid, int* face_nodes);
    void GetGridNodesPerFace(const int grid, int* nodes_per_face);

    // Beyond BMI: the stepped run itself (the library's view of the same run).
    SteppedRun& run();

    struct Variable;

  private:
    const Variable& variable(const std::string& name) const;
    void check_grid(int grid) const;
    void read_values(const Variable& v, float* dest);
    void write_values(const Variable& v, const float* src, const int* inds, int count);

    std::unique_ptr<Model> model_;
    std::unique_ptr<SteppedRun> run_;
    std::string save_state_;  // the run file's state to save at Finalize
    GridGeoreference georeference_;
    std::vector<int> cell_at_;  // per grid position: the simulated cell, or -1
    float outlet_flow_ = 0;
    std::vector<float> scratch_;
};

}  // namespace hydro
