#include "html_movie_page.hpp"

namespace orbits {

const char* const HTML_MOVIE_STYLE =
    R"css(body { background: #0e1118; color: #d8dde8; font: 14px sans-serif; margin: 16px; }
h1 { font-size: 18px; margin: 0 0 4px 0; }
.sub { color: #97a0b3; margin: 0 0 10px 0; }
#layout { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
#stage canvas { background: #141925; border: 1px solid #2a3142; display: block; }
#layout > div:first-child { width: 682px; }
#controls { margin: 8px 0; display: flex; gap: 10px; align-items: center; flex-wrap: wrap; }
#controls button { min-width: 64px; }
#scrub { width: 300px; }
#projection { max-width: 240px; }
#legend { max-width: 300px; line-height: 1.6; }
#legend .mark { display: inline-block; width: 22px; text-align: center; }
#status { color: #97a0b3; font-family: monospace; }
)css";

const char* const HTML_MOVIE_BODY = R"html(<div id="layout">
<div>
<div id="stage"></div>
<div id="controls">
<button id="play" type="button">Play</button>
<input id="scrub" type="range" min="0" max="0" value="0" aria-label="frame">
<label>Speed <select id="speed"><option value="0.25">0.25&times;</option><option value="0.5">0.5&times;</option><option value="1" selected>1&times;</option><option value="2">2&times;</option><option value="4">4&times;</option></select></label>
<label>Projection <select id="projection"></select></label>
</div>
<div id="status">loading</div>
</div>
<div id="legend">
<b>Legend</b><br>
<span class="mark" style="color:#ffffff">&#9711;</span> start of a body's path<br>
<span class="mark" style="color:#ffffff">&#9633;</span> end of a body's path<br>
<span class="mark" style="color:#ffb347">&#9654;</span> body now, pointing the way it moves<br>
<span class="mark" style="color:#ffb347">&#9472;</span> trail of the last frames, fading with age; one colour per body<br>
<span class="mark" style="color:#f2f2f2">&#9679;</span> attractor, <span style="color:#f2f2f2">&#9675;</span> its antipode<br>
<span class="mark" style="color:#ff4d4d">&#9678;</span> contact between two bodies, as it happens<br>
<span class="mark" style="color:#ffe34d">&#9678;</span> capture by an attractor<br>
<span class="mark" style="color:#6f7a91">&#8943;</span> clipping circle: images beyond it lie too near the projection's singular set and are not drawn<br>
<span class="mark">&#8635;</span> drag the picture to turn the view
</div>
</div>
)html";

const char* const HTML_MOVIE_SCRIPT = R"js((function () {
  'use strict';
  var errors = [];
  var statusBox = document.getElementById('status');
  function noteError(text) {
    errors.push(text);
    statusBox.setAttribute('data-errors', String(errors.length));
    statusBox.textContent = 'error: ' + errors[0];
  }
  window.addEventListener('error', function (event) { noteError(String(event.message)); });
  var consoleError = console.error;
  console.error = function () {
    noteError(Array.prototype.join.call(arguments, ' '));
    consoleError.apply(console, arguments);
  };

  var run = JSON.parse(document.getElementById('run-data').textContent);
  var bodies = run.bodies;
  var frames = run.steps.length;
  var TRAIL = Math.max(8, Math.min(60, Math.round(frames / 12)));
  var SIZE = 680;

  var canvas = document.createElement('canvas');
  canvas.width = SIZE;
  canvas.height = SIZE;
  document.getElementById('stage').appendChild(canvas);
  var g = canvas.getContext('2d');

  var playButton = document.getElementById('play');
  var scrub = document.getElementById('scrub');
  var speedSelect = document.getElementById('speed');
  var projectionSelect = document.getElementById('projection');
  scrub.max = String(frames - 1);
  run.projections.forEach(function (p, k) {
    var option = document.createElement('option');
    option.value = String(k);
    option.textContent = p.name;
    projectionSelect.appendChild(option);
  });

  var state = { frame: 0, playing: true, speed: 1, projection: 0, yaw: 0.35, pitch: 0.95, drawn: 0 };
  // A link can name the moment to show: #frame=N starts there, #paused does not play.
  var startFrame = /frame=([0-9]+)/.exec(window.location.hash);
  if (startFrame) state.frame = Math.min(frames - 1, Number(startFrame[1]));
  if (/paused/.test(window.location.hash)) state.playing = false;
  // The whole run plays in about 20 seconds at 1×, and never slower than 30 frames a second.
  var FRAMES_PER_SECOND = Math.max(30, frames / 20);

  function hue(i) { return 360 * i / Math.max(1, bodies); }
  function colour(i, alpha) { return 'hsla(' + hue(i).toFixed(1) + ',85%,64%,' + alpha.toFixed(3) + ')'; }

  // Orthographic view: yaw about z, then pitch toward the viewer; page y points down.
  function toPage(x, y, z, scale) {
    var cy = Math.cos(state.yaw), sy = Math.sin(state.yaw);
    var cp = Math.cos(state.pitch), sp = Math.sin(state.pitch);
    var x1 = cy * x - sy * y;
    var y1 = sy * x + cy * y;
    var up = cp * z + sp * y1;
    return [SIZE / 2 + scale * x1, SIZE / 2 - scale * up];
  }

  // The page position of body i in frame f, or null where the projection has no image.
  function at(positions, f, i, scale) {
    var k = 3 * (f * bodies + i);
    var x = positions[k];
    if (x === null) return null;
    return toPage(x, positions[k + 1], positions[k + 2], scale);
  }

  function circle(p, r) { g.beginPath(); g.arc(p[0], p[1], r, 0, 2 * Math.PI); }

  function drawGuide(projection, scale) {
    g.strokeStyle = '#2e3648';
    g.lineWidth = 1;
    circle([SIZE / 2, SIZE / 2], scale);
    g.stroke();
    // The equator of the guide sphere, seen at the view's tilt.
    g.beginPath();
    for (var t = 0; t <= 64; t++) {
      var q = toPage(Math.cos(t * Math.PI / 32), Math.sin(t * Math.PI / 32), 0, scale);
      if (t === 0) g.moveTo(q[0], q[1]); else g.lineTo(q[0], q[1]);
    }
    g.stroke();
    if (projection.outline === 'ball') {
      g.setLineDash([4, 6]);
      g.strokeStyle = '#6f7a91';
      circle([SIZE / 2, SIZE / 2], scale * projection.radius);
      g.stroke();
      g.setLineDash([]);
    }
  }

  function drawAttractors(projection, scale) {
    projection.attractors.forEach(function (a) {
      if (a[0] !== null) {
        g.fillStyle = '#f2f2f2';
        circle(toPage(a[0], a[1], a[2], scale), 6);
        g.fill();
      }
      if (a[3] !== null) {
        g.strokeStyle = '#f2f2f2';
        g.lineWidth = 1.5;
        circle(toPage(a[3], a[4], a[5], scale), 6);
        g.stroke();
      }
    });
  }

  function drawTrail(positions, f, i, scale) {
    var first = Math.max(0, f - TRAIL);
    var previous = at(positions, first, i, scale);
    g.lineWidth = 1.6;
    for (var k = first + 1; k <= f; k++) {
      var p = at(positions, k, i, scale);
      if (p !== null && previous !== null) {
        g.strokeStyle = colour(i, 0.9 * (1 - (f - k) / (TRAIL + 1)));
        g.beginPath();
        g.moveTo(previous[0], previous[1]);
        g.lineTo(p[0], p[1]);
        g.stroke();
      }
      previous = p;
    }
  }

  // A triangle at the body's position pointing from an earlier position toward it.
  function drawHead(positions, f, i, scale) {
    var p = at(positions, f, i, scale);
    if (p === null) return;
    var dx = 0, dy = 0;
    for (var k = f - 1; k >= Math.max(0, f - 4) && Math.abs(dx) + Math.abs(dy) < 0.5; k--) {
      var q = at(positions, k, i, scale);
      if (q === null) break;
      dx = p[0] - q[0];
      dy = p[1] - q[1];
    }
    g.fillStyle = colour(i, 1);
    var length = Math.sqrt(dx * dx + dy * dy);
    if (length < 0.5) {
      circle(p, 3);
      g.fill();
      return;
    }
    var ux = dx / length, uy = dy / length;
    g.beginPath();
    g.moveTo(p[0] + 7 * ux, p[1] + 7 * uy);
    g.lineTo(p[0] - 4 * ux - 4 * uy, p[1] - 4 * uy + 4 * ux);
    g.lineTo(p[0] - 4 * ux + 4 * uy, p[1] - 4 * uy - 4 * ux);
    g.closePath();
    g.fill();
  }

  function drawEnds(positions, i, scale) {
    var start = at(positions, 0, i, scale);
    var end = at(positions, frames - 1, i, scale);
    g.strokeStyle = colour(i, 0.55);
    g.lineWidth = 1.2;
    if (start !== null) { circle(start, 4); g.stroke(); }
    if (end !== null) g.strokeRect(end[0] - 3.5, end[1] - 3.5, 7, 7);
  }

  // Rings that grow and fade over the frames after the event.
  function drawEvents(projection, positions, f, scale) {
    var RING_FRAMES = Math.max(6, Math.round(TRAIL / 2));
    var seen = 0;
    run.contacts.forEach(function (c) {
      if (c[0] <= f) seen++;
      var age = f - c[0];
      if (age < 0 || age > RING_FRAMES) return;
      var p = at(positions, c[0], c[1], scale);
      if (p === null) return;
      g.strokeStyle = 'rgba(255,77,77,' + (1 - age / (RING_FRAMES + 1)).toFixed(3) + ')';
      g.lineWidth = 2;
      circle(p, 6 + 2 * age);
      g.stroke();
    });
    run.captures.forEach(function (c) {
      var age = f - c[0];
      if (age < 0 || age > RING_FRAMES) return;
      var a = projection.attractors[c[2]];
      if (!a || a[0] === null) return;
      g.strokeStyle = 'rgba(255,227,77,' + (1 - age / (RING_FRAMES + 1)).toFixed(3) + ')';
      g.lineWidth = 2;
      circle(toPage(a[0], a[1], a[2], scale), 9 + 2 * age);
      g.stroke();
    });
    return seen;
  }

  function draw() {
    var projection = run.projections[state.projection];
    var positions = projection.positions;
    var scale = 0.46 * SIZE / projection.radius;
    var f = Math.min(frames - 1, Math.floor(state.frame));
    g.fillStyle = '#141925';
    g.fillRect(0, 0, SIZE, SIZE);
    drawGuide(projection, scale);
    drawAttractors(projection, scale);
    for (var i = 0; i < bodies; i++) drawEnds(positions, i, scale);
    for (i = 0; i < bodies; i++) drawTrail(positions, f, i, scale);
    for (i = 0; i < bodies; i++) drawHead(positions, f, i, scale);
    var contacts = drawEvents(projection, positions, f, scale);
    g.fillStyle = '#d8dde8';
    g.font = '13px sans-serif';
    g.fillText('step ' + run.steps[f] + ' of ' + run.steps[frames - 1] + '   contacts so far ' + contacts, 10, 20);
    scrub.value = String(f);
    state.drawn++;
    report(f);
  }

  // What a test can read from the page: frames drawn, the frame shown, errors, painted pixels.
  function report(f) {
    var painted = 0;
    if (state.drawn % 20 === 1) {
      var pixels = g.getImageData(0, 0, SIZE, SIZE).data;
      for (var k = 0; k < pixels.length; k += 4) {
        if (pixels[k] !== 0x14 || pixels[k + 1] !== 0x19 || pixels[k + 2] !== 0x25) painted++;
      }
      statusBox.setAttribute('data-painted', String(painted));
    }
    statusBox.setAttribute('data-drawn', String(state.drawn));
    statusBox.setAttribute('data-frame', String(f));
    statusBox.setAttribute('data-errors', String(errors.length));
    statusBox.textContent = 'frame ' + (f + 1) + ' of ' + frames + (errors.length ? '; error: ' + errors[0] : '');
  }

  var last = null;
  function tick(now) {
    if (last !== null && state.playing) {
      state.frame += (now - last) / 1000 * FRAMES_PER_SECOND * state.speed;
      if (state.frame >= frames - 1) {
        state.frame = frames - 1;
        state.playing = false;
        playButton.textContent = 'Play';
      }
    }
    last = now;
    draw();
    window.requestAnimationFrame(tick);
  }

  playButton.textContent = state.playing ? 'Pause' : 'Play';
  playButton.addEventListener('click', function () {
    if (!state.playing && state.frame >= frames - 1) state.frame = 0;
    state.playing = !state.playing;
    playButton.textContent = state.playing ? 'Pause' : 'Play';
  });
  scrub.addEventListener('input', function () { state.frame = Number(scrub.value); });
  speedSelect.addEventListener('change', function () { state.speed = Number(speedSelect.value); });
  projectionSelect.addEventListener('change', function () { state.projection = Number(projectionSelect.value); });
  var dragging = null;
  canvas.addEventListener('mousedown', function (e) { dragging = [e.clientX, e.clientY]; });
  window.addEventListener('mouseup', function () { dragging = null; });
  window.addEventListener('mousemove', function (e) {
    if (dragging === null) return;
    state.yaw += (e.clientX - dragging[0]) * 0.01;
    state.pitch = Math.max(-1.5, Math.min(1.5, state.pitch + (e.clientY - dragging[1]) * 0.01));
    dragging = [e.clientX, e.clientY];
  });
  window.requestAnimationFrame(tick);
})();
)js";

}  // namespace orbits
