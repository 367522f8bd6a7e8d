#include "engine/reports/HtmlPage.h"

namespace gw {

const char kHtmlStyle[] = R"CSS(
body{font:14px/1.4 "Liberation Sans",Arial,sans-serif;margin:0;color:#1d1d1d;background:#fafafa}
header{padding:12px 20px;background:#fff;border-bottom:1px solid #ddd;position:sticky;top:0;z-index:1}
h1{font-size:18px;margin:0 0 4px}
h2{font-size:16px;margin:0 0 8px}
h3{font-size:14px;margin:12px 0 4px}
main{padding:8px 20px 40px}
.folder,.path,.fpath{font-family:"Liberation Mono",monospace;word-break:break-all}
.verdict{padding:6px 10px;border-left:6px solid;margin:8px 0}
.verdict.green{border-color:#2e8b3a;background:#eef8ef}
.verdict.red{border-color:#c62828;background:#fdeeee}
.verdict p{margin:2px 0}
.scope{color:#6a4b00;margin:4px 0}
#filter{width:28em;max-width:90%;padding:4px 6px;font:inherit}
section{background:#fff;border:1px solid #ddd;border-radius:4px;padding:10px 14px;margin:12px 0}
.counts{display:flex;flex-wrap:wrap;gap:4px 6px;margin:4px 0 8px}
.counts span{background:#f3f3f3;border-radius:3px;padding:1px 8px;font-size:13px}
.counts b{font-variant-numeric:tabular-nums}
.count{color:#555}
.place{border-top:1px solid #eee;padding:3px 0}
.head .tog{width:1.8em;margin-right:6px;font:inherit;cursor:pointer}
.status,.kind,.folded{margin-left:8px;font-size:12px;padding:0 6px;border-radius:8px;background:#eee}
.st-differs .status,.st-not_inherited .status,.st-changed .status{background:#ffe0b2}
.st-not_read .status,.st-not_listed .status,.st-gone .status{background:#ffcdd2}
.st-new .status{background:#c8e6c9}
.body{margin:4px 0 4px 2.6em;font-family:"Liberation Mono",monospace;font-size:13px}
.add{color:#1b5e20}.del{color:#b71c1c}.mod{color:#8a5a00}
.reasons,.reason,.sub{font-family:"Liberation Sans",Arial,sans-serif;color:#444}
.fpath{color:#555;padding-left:1em}
button.more{margin:6px 0;font:inherit;cursor:pointer}
table.who{border-collapse:collapse;width:100%}
table.who th,table.who td{border-bottom:1px solid #eee;padding:2px 8px 2px 0;text-align:left;vertical-align:top}
td.r-true{color:#1b5e20}td.r-false{color:#777}td.r-null{color:#b71c1c}td.r-own{color:#8a5a00}
)CSS";

// The page's behaviour. Every text goes in as textContent, never as markup.
const char kHtmlScript[] = R"JS(
(function () {
  'use strict';
  var started = performance.now();
  var data = JSON.parse(document.getElementById('gw-data').textContent);
  var L = data.labels, CHUNK = 200;
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }
  function fill(pattern, a, b) { return pattern.replace('%1', a).replace('%2', b); }
  // Shows `items` in `box`, CHUNK at a time; a button in `moreBox` shows the next ones.
  function list(box, items, render, moreBox) {
    moreBox = moreBox || box;
    box.textContent = '';
    if (moreBox !== box) moreBox.textContent = '';
    var shown = 0;
    function more() {
      var end = Math.min(items.length, shown + CHUNK), frag = document.createDocumentFragment();
      for (; shown < end; ++shown) frag.appendChild(render(items[shown]));
      box.appendChild(frag);
      if (shown < items.length) {
        var b = el('button', 'more', fill(L.more, Math.min(CHUNK, items.length - shown), items.length - shown));
        b.onclick = function () { b.parentNode.removeChild(b); more(); };
        moreBox.appendChild(b);
      }
    }
    more();
  }
  function below(parent, path) {
    return parent === '/' ? path !== '/' && path.charAt(0) === '/' : path.lastIndexOf(parent + '/', 0) === 0;
  }
  function status(s) { return L.status[s] || s; }
  function right(v) { return v === true ? L.yes : v === false ? L.no : v === 'own' ? L.own : L.unknown; }

  // A place of a differences section; its lines and folded folders are made once it is opened.
  function place(p) {
    var r = p.r, box = el('div', 'place st-' + r[2]), head = el('div', 'head'), tog = el('button', 'tog', '+');
    head.appendChild(tog);
    head.appendChild(el('span', 'path', r[0]));
    if (r[1] === 'file') head.appendChild(el('span', 'kind', L.file));
    head.appendChild(el('span', 'status', status(r[2])));
    if (r[4] > 0) head.appendChild(el('span', 'folded', fill(L.folded, r[4])));
    box.appendChild(head);
    var body = null;
    tog.onclick = function () {
      if (body) {
        body.hidden = !body.hidden;
      } else {
        body = el('div', 'body');
        r[5].forEach(function (c) {
          body.appendChild(el('div', c[0] === '+' ? 'add' : c[0] === '-' ? 'del' : 'mod',
                              c[0] + ' ' + (c[0] === '~' ? c[1] + ' \u2192 ' + c[2] : c[1])));
        });
        if (r[6]) body.appendChild(el('div', 'reasons', L.reasons + ': ' + r[6]));
        if (r[7]) body.appendChild(el('div', 'reason', r[7]));
        if (p.folded.length) {
          body.appendChild(el('div', 'sub', fill(L.foldedHead, p.folded.length)));
          var sub = el('div', 'foldedlist');
          body.appendChild(sub);
          list(sub, p.folded, function (f) { return el('div', 'fpath', f[0]); });
        }
        box.appendChild(body);
      }
      tog.textContent = body.hidden ? '+' : '\u2212';
    };
    return box;
  }
  function whoRow(r) {
    var tr = el('tr', 'place');
    tr.appendChild(el('td', 'path', r[0]));
    tr.appendChild(el('td', null, r[1] === 'file' ? L.file : L.folder));
    for (var i = 2; i < 6; ++i) tr.appendChild(el('td', 'r-' + String(r[i]), right(r[i])));
    tr.appendChild(el('td', 'via', r[6] || ''));
    tr.appendChild(el('td', null, r[7] > 0 ? r[7] : ''));
    tr.appendChild(el('td', 'reason', r[8] || ''));
    return tr;
  }
  function unread(r) {
    var d = el('div', 'unread');
    d.appendChild(el('span', 'path', r[0]));
    d.appendChild(el('span', 'status', status(r[2])));
    if (r[7]) d.appendChild(el('div', 'reason', r[7]));
    return d;
  }

  var sections = data.sections.map(function (sec, i) {
    var root = document.getElementById('s' + i), who = sec.check === 'who';
    var s = { rows: sec.rows, who: who, tops: [], lower: null, count: root.querySelector('.count'),
              places: root.querySelector(who ? 'table.who tbody' : '.places'), more: root.querySelector('.placesmore') };
    if (who) {
      s.tops = sec.rows;
    } else {
      var stack = [];
      sec.rows.forEach(function (r) {
        var p = { r: r, folded: [] }, differs = r[2] === 'differs';
        if (differs) while (stack.length && !below(stack[stack.length - 1].r[0], r[0])) stack.pop();
        if (differs && !r[3] && stack.length) {
          stack[stack.length - 1].folded.push(r);
          return;
        }
        s.tops.push(p);
        if (differs) stack.push(p);
      });
    }
    var unreadRows = sec.rows.filter(function (r) { return who ? r[2] === null : r[2] === 'not_read' || r[2] === 'not_listed'; });
    root.querySelector('.unreadcount').textContent = unreadRows.length;
    list(root.querySelector('.unreadlist'), unreadRows, who ? function (r) {
      var d = el('div', 'unread'); d.appendChild(el('span', 'path', r[0])); if (r[8]) d.appendChild(el('div', 'reason', r[8])); return d;
    } : unread);
    return s;
  });
  function show(s, q) {
    var items = s.tops;
    if (q) {
      if (!s.lower) s.lower = s.rows.map(function (r) { return r[0].toLowerCase(); });
      items = [];
      for (var i = 0; i < s.rows.length; ++i)
        if (s.lower[i].indexOf(q) >= 0) items.push(s.who ? s.rows[i] : { r: s.rows[i], folded: [] });
    }
    s.count.textContent = fill(q ? L.matching : L.places, items.length);
    list(s.places, items, s.who ? whoRow : place, s.who ? s.more : s.places);
  }
  var box = document.getElementById('filter'), timer = null;
  // How long it took is kept on the page, for the benchmarks.
  function apply() {
    var t0 = performance.now(), q = box.value.toLowerCase();
    sections.forEach(function (s) { show(s, q); });
    box.setAttribute('data-filter-ms', Math.round(performance.now() - t0));
  }
  box.addEventListener('input', function () { clearTimeout(timer); timer = setTimeout(apply, 150); });
  var m = /[#&]filter=([^&]*)/.exec(location.hash);
  if (m) {
    try { box.value = decodeURIComponent(m[1]); } catch (e) { box.value = m[1]; }
  }
  apply();
  document.body.setAttribute('data-ready-ms', Math.round(performance.now() - started));
})();
)JS";

} // namespace gw
