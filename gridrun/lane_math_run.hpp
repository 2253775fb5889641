// powf, logf or expf of n arguments through the lanes of one kernel, W at a
// time (the last group with fewer lanes wanted). No include guard: included
// after cell_lanes_body.hpp inside each kernel's namespace.

[[maybe_unused]] static void lane_math(LaneFunctionKind f, const float* x, const float* y, float* out, std::size_t n) {
    for (std::size_t i = 0; i < n; i += W) {
        alignas(64) float xs[W] = {}, ys[W] = {}, rs[W];
        vmask m = {};
        for (int l = 0; l < W && i + static_cast<std::size_t>(l) < n; ++l) {
            xs[l] = x[i + static_cast<std::size_t>(l)];
            ys[l] = y ? y[i + static_cast<std::size_t>(l)] : 0.0f;
            m[l] = -1;
        }
        const vfloat a = load(xs), b = load(ys);
        vfloat r;
        if (f == LaneFunctionKind::pow)
            r = KernelMath::pow(m, a, b);
        else if (f == LaneFunctionKind::log)
            r = KernelMath::log(m, a);
        else
            r = KernelMath::exp(m, a);
        store(rs, r);
        for (int l = 0; l < W && i + static_cast<std::size_t>(l) < n; ++l) out[i + static_cast<std::size_t>(l)] = rs[l];
    }
}
