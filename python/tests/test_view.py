"""vorn.view: the recorded run, the orbits example's page written from it (checked in headless
chromium), saving it, and the plots."""

import html
import json
import os
import re
import shutil
import subprocess
import sys

import numpy as np
import pytest
import vorn


def small_world(bodies=6):
    world = vorn.World(G=1.0, mutual_gravity=True)
    world.add_attractor((0.9, 0.0, 0.0, 0.3), 0.02)
    rng = np.random.default_rng(7)
    positions = vorn.normalize(np.array([0.9, 0.0, 0.0, 0.3]) + 0.25 * rng.standard_normal((bodies, 4)))
    world.add_bodies(positions, 0.15 * rng.standard_normal((bodies, 4)), 1e-3)
    return world


def run_data(page):
    return json.loads(re.search(r'<script type="application/json" id="run-data">\n(.*?)\n</script>', page, re.S)[1])


def test_view_records_the_run_and_writes_the_page_from_it():
    world = small_world()
    reference = small_world()
    movie = vorn.view(world, 250, 0.01, "yoshida4", max_points=60, contact_distance=0.2, title="t<1>")
    # Ten frames' worth of points: every 28th step, and the last.
    assert list(movie.steps) == [*range(0, 250, 28), 250]
    assert movie.positions.shape == (len(movie.steps), 6, 4)
    reference.step(0.01, vorn.Integrator.yoshida4, 250)  # stepping in batches or one at a time: the same bits
    assert np.array_equal(movie.positions[-1], reference.positions)
    assert movie.times[-1] == world.time and movie.energies[0] != movie.energies[-1]
    data = run_data(movie.html)
    assert data["bodies"] == 6 and data["steps"] == [int(s) for s in movie.steps]
    assert len(data["projections"][0]["attractors"]) == 1 and data["contacts"]
    assert "<title>t&lt;1&gt;</title>" in movie.html and "yoshida4, dt = 0.01, 250 steps" in movie.html
    frame = re.fullmatch(r'<iframe sandbox="allow-scripts" [^>]*srcdoc="(.*)"></iframe>', movie._repr_html_(), re.S)
    assert html.unescape(frame[1]) == movie.html

    with pytest.raises(ValueError, match="no bodies"):
        vorn.view(vorn.World(), 10, 0.01)
    with pytest.raises(ValueError, match="integrator must be one of"):
        vorn.view(small_world(), 10, 0.01, "leapfrog")
    with pytest.raises(ValueError, match="one position per body and frame"):
        vorn._vorn._movie_page(2, np.array([0, 1], dtype=np.uint64), np.zeros((3, 4)), np.zeros((0, 4)),
                               np.zeros((0, 3), dtype=np.uint64), np.zeros((0, 3), dtype=np.uint64), "", "")
    with pytest.raises(ValueError, match="contact names a body"):
        vorn._vorn._movie_page(1, np.array([0], dtype=np.uint64), np.ones((1, 4)), np.zeros((0, 4)),
                               np.array([[0, 0, 1]], dtype=np.uint64), np.zeros((0, 3), dtype=np.uint64), "", "")


def test_save_replaces_the_file_whole_or_leaves_it(tmp_path):
    movie = vorn.view(small_world(2), 5, 0.01)
    target = tmp_path / "run.html"
    target.write_text("an earlier page, longer than nothing")
    movie.save(target)
    assert target.read_text(encoding="utf-8") == movie.html
    broken = vorn.Movie("\ud800", movie.steps, movie.times, movie.energies, movie.positions)
    with pytest.raises(UnicodeEncodeError):
        broken.save(target)
    (tmp_path / "folder").mkdir()
    with pytest.raises(OSError):
        movie.save(tmp_path / "folder")
    assert target.read_text(encoding="utf-8") == movie.html
    assert sorted(p.name for p in tmp_path.iterdir()) == ["folder", "run.html"]


def test_plots_draw_the_run_and_import_matplotlib_only_when_used():
    done = subprocess.run([sys.executable, "-c", "import sys, vorn; print('matplotlib' in sys.modules)"],
                          capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(vorn.__file__))))
    assert done.stdout.strip() == "False", done.stderr
    import matplotlib

    matplotlib.use("Agg")
    movie = vorn.view(small_world(), 40, 0.01)
    paths = vorn.plot_projection(movie.positions)
    assert len(paths.lines) == 2 * 6  # a path and a start mark per body
    dots = vorn.plot_projection(movie.positions[-1], ax=paths.figure.add_subplot(2, 2, 4))
    assert len(dots.lines) == 1
    energy = vorn.plot_energy_error(movie.times, movie.energies)
    assert np.array_equal(energy.lines[0].get_xdata(), movie.times[1:])
    with pytest.raises(ValueError, match=r"\(N, 4\)"):
        vorn.plot_projection(np.zeros((3, 3)))


CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")


@pytest.mark.skipif(CHROMIUM is None, reason="chromium not found")
def test_the_page_plays_in_a_browser_and_loads_nothing(tmp_path):
    page = tmp_path / "view.html"
    vorn.view(small_world(), 2400, 0.0025).save(page)  # 2400 frames: 120 a second
    # The page draws on display refreshes, of which headless chromium hands out more or fewer as
    # the machine is loaded: a few looks, until it has played.
    for look in range(5):
        done = subprocess.run(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-quic",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--mute-audio", "--hide-scrollbars", f"--user-data-dir={tmp_path / f'p{look}'}",
             "--virtual-time-budget=3000", "--window-size=1100,860", "--dump-dom", page.as_uri()],
            capture_output=True, text=True, timeout=90)
        status = re.search(r'<div id="status"[^>]*>', done.stdout)
        assert status, done.stdout + done.stderr
        fields = dict(re.findall(r'data-([a-z]+)="([^"]*)"', status[0]))
        assert fields.get("errors") == "0", status[0]  # a blocked load counts as an error
        # Playing: drawn again and moved off the first frame (a page that does not play stays at 0).
        if int(fields.get("drawn", 0)) >= 2 and int(fields.get("frame", 0)) >= 1:
            break
    else:
        pytest.fail(f"the page did not play: {status[0]}")
    assert int(fields.get("painted", 0)) > 5000, status[0]
