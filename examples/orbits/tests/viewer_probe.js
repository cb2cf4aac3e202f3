// Added to a copy of the viewer page by check_html_viewer_fits.cmake: checks that every control
// and the legend lie within the window, then turns the view's zoom and pan with the buttons, the
// wheel, a pinch, a shift-drag and the keyboard, and writes what it found into a pre block
// with id "probe" at the end of the page.
window.addEventListener('load', function () {
  'use strict';
  var found = [];
  var status = document.getElementById('status');
  var canvas = document.querySelector('#stage canvas');
  function fail(text) { found.push('FAIL ' + text); }
  function zoom() { return Number(status.getAttribute('data-zoom')); }
  function pan() { return status.getAttribute('data-pan'); }
  function click(id) { document.getElementById(id).click(); }
  function pointer(type, id, x, y, extra) {
    var init = { pointerId: id, clientX: x, clientY: y, button: 0, buttons: type === 'pointerup' ? 0 : 1,
                 pointerType: id === 1 ? 'mouse' : 'touch', isPrimary: id <= 2, bubbles: true };
    for (var k in extra || {}) init[k] = extra[k];
    canvas.dispatchEvent(new PointerEvent(type, init));
  }
  function key(text) {
    document.body.dispatchEvent(new KeyboardEvent('keydown', { key: text, bubbles: true }));
  }

  setTimeout(function () {
    var width = window.innerWidth, height = window.innerHeight;
    found.push('window ' + width + 'x' + height);
    if (document.documentElement.scrollWidth > width) {
      fail('the page is ' + document.documentElement.scrollWidth + ' px wide');
    }
    ['#stage canvas', '#play', '#scrub', '#speed', '#projection', '#zoom-out', '#zoom-in', '#zoom-reset',
     '#legend', '#status'].forEach(function (selector) {
      var element = document.querySelector(selector);
      if (!element) { fail(selector + ' is missing'); return; }
      var r = element.getBoundingClientRect();
      if (r.width === 0 || r.left < 0 || r.top < 0 || r.right > width || r.bottom > height) {
        fail(selector + ' lies at ' + [r.left, r.top, r.right, r.bottom].map(Math.round).join(',') +
             ', not within the window');
      }
    });
    if (!canvas || found.some(function (line) { return /missing/.test(line); })) return finish();

    var box = canvas.getBoundingClientRect();
    var cx = box.left + box.width / 2, cy = box.top + box.height / 2;
    if (zoom() !== 1 || pan() !== '0,0') fail('the view starts at zoom ' + zoom() + ', pan ' + pan());
    click('zoom-in');
    click('zoom-in');
    var buttons = zoom();
    if (!(buttons > 1.5)) fail('two clicks on + give zoom ' + buttons);
    canvas.dispatchEvent(new WheelEvent('wheel', { deltaY: -240, clientX: cx + 100, clientY: cy, bubbles: true,
                                                   cancelable: true }));
    if (!(zoom() > buttons)) fail('the wheel toward the viewer gives zoom ' + zoom() + ' after ' + buttons);
    if (pan() === '0,0') fail('zooming at a point off the centre keeps the centre');
    key('-');
    if (!(zoom() < buttons * 1.5)) fail('the key - gives zoom ' + zoom());
    click('zoom-reset');
    if (zoom() !== 1 || pan() !== '0,0') fail('reset gives zoom ' + zoom() + ', pan ' + pan());
    pointer('pointerdown', 1, cx, cy, { shiftKey: true });
    pointer('pointermove', 1, cx + 40, cy + 30, { shiftKey: true });
    pointer('pointerup', 1, cx + 40, cy + 30, { shiftKey: true });
    if (pan() !== '40,30') fail('a shift-drag by 40,30 pans by ' + pan());
    click('zoom-reset');
    pointer('pointerdown', 2, cx - 50, cy);
    pointer('pointerdown', 3, cx + 50, cy);
    pointer('pointermove', 3, cx + 150, cy);
    pointer('pointerup', 3, cx + 150, cy);
    pointer('pointerup', 2, cx - 50, cy);
    if (Math.abs(zoom() - 2) > 0.01) fail('a pinch from 100 to 200 px apart gives zoom ' + zoom());
    click('zoom-reset');
    finish();
  }, 400);

  function finish() {
    found.push('done');
    var pre = document.createElement('pre');
    pre.id = 'probe';
    pre.textContent = found.join('\n');
    document.body.appendChild(pre);
  }
});
