"""Python gives the C++ golden results bit for bit, through scalar calls and batch calls alike."""

import numpy as np
import vorn
from conftest import hex_of


def words(*values):
    out = []
    for v in values:
        if isinstance(v, (vorn.HomVec4, tuple, list, np.ndarray)):
            out.extend(hex_of(c) for c in np.ravel(np.asarray(v, dtype=float)))
        elif isinstance(v, vorn.PGL4):
            out.extend(hex_of(c) for c in v.data)
        elif isinstance(v, bool):
            out.append("1" if v else "0")
        elif isinstance(v, int):
            out.append(format(v, "016x"))
        else:
            out.append(hex_of(v))
    return out


def body_words(b):
    return words(b.position, b.velocity, b.mass, b.restitution, b.friction, b.force_accum, int(b.body_type),
                 bool(b.active))


def test_point_operations(battery, golden):
    vectors = battery["vectors"]
    normalized = vorn.normalize(vectors)
    norms = vorn.norm(vectors)
    for i, row in enumerate(vectors):
        v = vorn.HomVec4(*row)
        assert golden[("norm", i)] == [words(norms[i])]
        assert golden[("normalize", i)] == [words(normalized[i])]
        assert golden[("normalize", i)] == [words(v.normalize())]
        assert golden[("cartesian3", i)] == [words(v.cartesian3())]
        assert golden[("pickBestCard", i)] == [words(int(v.pick_best_card()))]

    a, b = battery["pairs"][:, 0], battery["pairs"][:, 1]
    distances = vorn.fs_distance(a, b)
    for i in range(len(a)):
        p, q = vorn.HomVec4(*a[i]), vorn.HomVec4(*b[i])
        assert golden[("dot", i)] == [words(vorn.HomVec4.dot(p, q))]
        assert golden[("fsDistance", i)] == [words(distances[i])] == [words(vorn.fs_distance(p, q))]
        same = [words(tol, p.is_same_point(q, tol)) for tol in (0.0, 1e-15, 1e-8, 0.5)]
        assert golden[("isSamePoint", i)] == same


def test_scalar_and_matrix_operations(battery, golden):
    radii = (1.0, 5838400.0, 6371000.0, 0.0, -1.0, 0.5)
    for i, s in enumerate(battery["scalars"]):
        assert golden[("cordicInvSqrt", i)] == [words(vorn.cordic_inv_sqrt(s))]
        assert golden[("wFromDistance", i)] == [words(r, vorn.w_from_distance(s, r)) for r in radii]
        assert golden[("pglRotateZ", i)] == [words(vorn.pgl_rotate_z(s))]

    matrices = [vorn.PGL4.from_column_major(m) for m in battery["matrices"]]
    vectors = battery["vectors"]
    for i, m in enumerate(matrices):
        assert golden[("det", i)] == [words(m.det())]
        assert golden[("inverse", i)][:4] == [words(0.0, n, m.inverse(0.0, n)) for n in (0, 1, 8, 50)]
        picked = list(range(0, len(vectors), 13))
        batch = m.apply(vectors[picked])
        assert golden[("apply", i)] == [words(k, batch[j]) for j, k in enumerate(picked)]
        assert golden[("mul", i)] == [words(k, m @ matrices[k]) for k in range(0, len(matrices), 9)]


def test_geodesic_and_physics_operations(battery, golden):
    points, scalars = battery["points"], battery["scalars"]
    for i, (p, v) in enumerate(points):
        p, v = vorn.HomVec4(*p), vorn.HomVec4(*v)
        times = scalars[i % 5::23]
        assert golden[("geodesicExact", i)] == [words(t, vorn.geodesic_exact(p, v, t)) for t in times]
        y = vorn.GeodesicState.from_hom_vec4(p, v)
        steps = [words(h, vorn.rk4_step_free(0.0, y, h).q, vorn.rk4_step_free(0.0, y, h).v) for h in (0.01, -0.25, 1.0)]
        assert golden[("rk4Step", i)] == steps
    for i in range(0, len(points), 4):
        y0 = vorn.GeodesicState.from_hom_vec4(vorn.HomVec4(*points[i][0]), vorn.HomVec4(*points[i][1]))
        t1 = scalars[(7 * i) % len(scalars)]
        trajectory = vorn.rk4_integrate_free(0.0, t1, y0, i % 9)
        assert golden[("rk4Integrate", i)] == [words(t1, k, state) for k, state in enumerate(trajectory)]

    for i, (p, q) in enumerate(battery["pairs"]):
        a = vorn.VornBody(vorn.HomVec4(*p), vorn.HomVec4(), 1.0)
        c = vorn.VornBody(vorn.HomVec4(*q), vorn.HomVec4(), 1.0)
        assert golden[("vornGravity", i)] == [words(vorn.vorn_gravity(a, vorn.HomVec4(*q), 2.5, 0.75))]
        hits = []
        for threshold in (0.0, 1e-10, 0.1, 1.6):
            r = vorn.check_collision(a, c, threshold)
            hits.append(words(threshold, r.fs_distance, r.normal, r.collided))
        assert golden[("checkCollision", i)] == hits

    vectors = battery["vectors"]
    for i, (p, v) in enumerate(points):
        lines = []
        for k in range(i % 3, len(vectors), 83):
            body = vorn.VornBody(vorn.HomVec4(*p), vorn.HomVec4(*v), scalars[(i + k) % len(scalars)])
            body.apply_force(vorn.HomVec4(*points[(i + 1) % len(points)][1]))
            dt = scalars[(3 * i + k) % len(scalars)]
            vorn.integrate_step(body, dt, vorn.HomVec4(*vectors[k]))
            lines.append(words(dt, k) + body_words(body))
        assert golden[("integrateStep", i)] == lines
