// The size report's script. It reads the link from #size-data (its layout is
// described in src/report/size_report.cpp) and replaces the plain tables by a
// treemap of each memory and two tables, of symbols and of modules, that sort
// and filter. Names reach the page only as text (textContent, canvas text),
// never as markup.
//
// The totals it computes from the parts and the definitions are written into
// the page, where a reader (or a test) compares them with the summary's:
// each memory's data-used, each table's data-total. A part whose definitions
// and unnamed rest do not add up to its size is reported on the console.
'use strict';
(() => {
  const data = JSON.parse(document.getElementById('size-data').textContent);
  const SECTIONS = ['code', 'data', 'bss', 'base', 'bssb'];
  const HUES = [212, 140, 32, 278, 330];
  const fmt = (n) => n.toLocaleString('en-US');
  const hex = (n) => '$' + (n >>> 0).toString(16).padStart(8, '0');
  const sectionName = (s) => SECTIONS[s] ?? 'unknown';
  const el = (tag, props, ...kids) => {
    const e = document.createElement(tag);
    if (props) Object.assign(e, props);
    e.append(...kids);
    return e;
  };

  // ---- the model: modules, parts, definitions --------------------------

  const modules = data.modules;
  const moduleLabel = (m) => (modules[m] && (modules[m][1] ?? modules[m][0])) ?? '#' + m;
  const moduleFile = (m) => (modules[m] && modules[m][0]) ?? '';
  const sectionRuns = (s) => (data.sections[s] ? data.sections[s][1] : 0);

  const nParts = data.parts.length;
  const pModule = new Uint32Array(nParts), pSection = new Uint32Array(nParts);
  const pOffset = new Float64Array(nParts), pSize = new Float64Array(nParts), pRest = new Float64Array(nParts);
  const pFirst = new Uint32Array(nParts + 1);
  data.parts.forEach(([module, section, offset, size, rest, count], p) => {
    pModule[p] = module;
    pSection[p] = section;
    pOffset[p] = offset ?? 0;
    pSize[p] = size;
    pRest[p] = rest;
    pFirst[p + 1] = pFirst[p] + count;
  });

  // each definition's part, and the bytes it counts: an alias takes the
  // bytes of the definition at its offset that counts them, and counts none
  const names = data.names, offsets = data.offsets, sizes = data.sizes;
  const nSym = names.length;
  const symPart = new Int32Array(nSym).fill(-1);
  const aliasOf = new Int32Array(nSym).fill(-1);
  for (const [alias, counting] of data.aliases) aliasOf[alias] = counting;
  const counted = Float64Array.from(sizes, (size, i) => (aliasOf[i] >= 0 ? 0 : size));
  const partBytes = new Float64Array(nParts);  // what the part's definitions and rest add up to
  for (let p = 0; p < nParts; p++) {
    let sum = pRest[p];
    for (let i = pFirst[p]; i < pFirst[p + 1]; i++) {
      symPart[i] = p;
      sum += counted[i];
    }
    partBytes[p] = sum;
    if (sum !== pSize[p])
      console.error(`size report: part ${sectionName(pSection[p])} of ${moduleLabel(pModule[p])} adds up to ${sum}, not ${pSize[p]}`);
  }
  const symAddress = (i) => (symPart[i] < 0 ? offsets[i] : sectionRuns(pSection[symPart[i]]) + pOffset[symPart[i]] + offsets[i]);

  // ---- treemaps ---------------------------------------------------------

  // A node: {kind, label, size, parent, kids, section, part, sym, address, fill}.
  // The definitions of a part become its kids only when it is drawn.
  function memoryTree(memory) {
    const root = {kind: 'memory', label: memory.name, size: 0, parent: null, address: memory.start, kids: []};
    for (const [section, address, size, fill] of memory.pieces) {
      const node = {kind: 'section', label: sectionName(section) + (fill ? ' (zero fill)' : ''), size: 0, parent: root,
        section, address, fill: !!fill, kids: []};
      for (let p = 0; p < nParts; p++) {
        if (pSection[p] !== section || partBytes[p] === 0) continue;
        node.kids.push({kind: 'part', label: moduleLabel(pModule[p]), size: partBytes[p], parent: node, section, part: p,
          address: address + pOffset[p], fill: node.fill, kids: null});
        node.size += partBytes[p];
      }
      if (node.size !== size)
        console.error(`size report: ${memory.name} holds ${node.size} bytes of ${sectionName(section)}, not ${size}`);
      node.kids.sort((a, b) => b.size - a.size || a.part - b.part);
      if (node.size > 0) root.kids.push(node);
      root.size += node.size;
    }
    root.kids.sort((a, b) => b.size - a.size);
    return root;
  }

  function kidsOf(node) {
    if (node.kids || node.kind !== 'part') return node.kids;
    const p = node.part, kids = [];
    for (let i = pFirst[p]; i < pFirst[p + 1]; i++) {
      if (counted[i] > 0)
        kids.push({kind: 'symbol', label: names[i], size: counted[i], parent: node, section: node.section, sym: i,
          address: node.address + offsets[i], fill: node.fill});
    }
    if (pRest[p] > 0)
      kids.push({kind: 'rest', label: '(no symbol)', size: pRest[p], parent: node, section: node.section, fill: node.fill});
    kids.sort((a, b) => b.size - a.size);
    node.kids = kids;
    return kids;
  }

  // Squarified layout: children, largest first, in rows along the shorter
  // side, each row as long as keeps its rectangles closest to squares. The
  // tail of children too small to see is one rectangle.
  function squarify(kids, x, y, w, h, place) {
    let total = 0;
    for (const k of kids) total += k.size;
    if (total <= 0 || w <= 0 || h <= 0) return;
    const scale = (w * h) / total;
    let i = 0;
    while (i < kids.length) {
      if (kids[i].size * scale < 4) {
        let left = 0;
        for (let k = i; k < kids.length; k++) left += kids[k].size;
        place({kind: 'more', label: `${fmt(kids.length - i)} smaller`, size: left, parent: kids[i].parent,
          section: kids[i].section, fill: kids[i].fill, kids: null, count: kids.length - i}, x, y, w, h);
        return;
      }
      const side = Math.min(w, h);
      const big = kids[i].size * scale;
      let j = i, area = 0, worst = Infinity;
      while (j < kids.length) {
        const a = kids[j].size * scale, sum = area + a;
        const ratio = Math.max((side * side * big) / (sum * sum), (sum * sum) / (side * side * a));
        if (ratio > worst) break;
        worst = ratio;
        area = sum;
        j++;
      }
      const thick = area / side;
      let at = 0;
      for (let k = i; k < j; k++) {
        const length = (kids[k].size * scale) / thick;
        if (w >= h) place(kids[k], x, y + at, thick, length);
        else place(kids[k], x + at, y, length, thick);
        at += length;
      }
      if (w >= h) { x += thick; w -= thick; } else { y += thick; h -= thick; }
      i = j;
    }
  }

  // A node's colour: its section's hue, lighter the deeper it lies, paler for
  // a zero fill; neighbouring parts and symbols a shade apart.
  function colour(node) {
    if (node.colour) return node.colour;
    const hue = HUES[node.section] ?? 0;
    const light = node.fill ? 12 : 0;
    switch (node.kind) {
      case 'memory': node.colour = '#e9edf1'; break;
      case 'section': node.colour = `hsl(${hue} 45% ${38 + light}%)`; break;
      case 'part': node.colour = `hsl(${hue} ${node.fill ? 25 : 50}% ${56 + light + ((node.part % 5) - 2) * 3}%)`; break;
      case 'symbol': node.colour = `hsl(${hue} 55% ${72 + light / 2 + (node.sym % 3) * 3}%)`; break;
      default: node.colour = `hsl(${hue} 12% 84%)`;
    }
    return node.colour;
  }

  function pathOf(node) {
    const path = [];
    for (let n = node; n; n = n.parent) path.unshift(n);
    return path;
  }

  function treemapView(memory, region) {
    const root = memoryTree(memory);
    let top = root, rects = [];
    const canvas = el('canvas');
    const crumbs = el('span', {className: 'crumbs'});
    const used = el('span', {className: 'use'}, `${fmt(root.size)} bytes`);
    if (region && region[2]) used.append(` of ${fmt(region[2])}`);
    const section = el('section', {className: 'memory'},
      el('div', {className: 'memory-head'}, el('h2', {}, memory.name), used, crumbs),
      el('div', {className: 'treemap'}, canvas));
    section.dataset.memory = memory.name;
    section.dataset.used = String(root.size);
    const tip = el('div', {className: 'tip', hidden: true});
    document.body.append(tip);

    function draw() {
      const ratio = window.devicePixelRatio || 1;
      const w = canvas.clientWidth, h = canvas.clientHeight;
      canvas.width = Math.round(w * ratio);
      canvas.height = Math.round(h * ratio);
      const ctx = canvas.getContext('2d');
      ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
      ctx.font = '12px system-ui, sans-serif';
      ctx.textBaseline = 'top';
      rects = [];
      const place = (node, x, y, w, h) => {
        if (w < 0.5 || h < 0.5) return;
        rects.push({node, x, y, w, h});
        ctx.fillStyle = colour(node);
        ctx.fillRect(x, y, w, h);
        if (w > 2 && h > 2) {
          ctx.strokeStyle = 'rgba(255,255,255,0.85)';
          ctx.lineWidth = 1;
          ctx.strokeRect(x + 0.5, y + 0.5, w - 1, h - 1);
        }
        const head = w > 50 && h > 30 ? 16 : 0;
        if (w > 36 && h > 14) {
          const text = `${node.label}  ${fmt(node.size)}`;
          const fits = Math.max(0, Math.floor((w - 6) / 6.5));
          ctx.fillStyle = node.kind === 'section' ? '#fff' : '#1d2329';
          ctx.fillText(text.length > fits ? text.slice(0, Math.max(0, fits - 1)) + '\u2026' : text, x + 3, y + 2);
        }
        // a node too small to show its parts keeps them for a zoom
        if (w < 12 || h < 12 || w * h < 400) return;
        const kids = kidsOf(node);
        if (!kids || kids.length === 0) return;
        const pad = 2;
        squarify(kids, x + pad, y + head + pad, w - 2 * pad, h - head - 2 * pad, place);
      };
      // the node on top is the whole canvas, its name in the heading
      rects.push({node: top, x: 0, y: 0, w, h});
      ctx.fillStyle = colour(top);
      ctx.fillRect(0, 0, w, h);
      squarify(kidsOf(top) || [], 1, 1, w - 2, h - 2, place);
      crumbs.replaceChildren();
      if (top === root) return;
      for (const n of pathOf(top)) {
        const b = el('button', {type: 'button', textContent: n.label, disabled: n === top});
        b.addEventListener('click', () => { top = n; draw(); });
        if (crumbs.childNodes.length) crumbs.append(' \u203A ');
        crumbs.append(b);
      }
    }

    function hit(event) {
      const box = canvas.getBoundingClientRect();
      const x = event.clientX - box.left, y = event.clientY - box.top;
      for (let k = rects.length - 1; k >= 0; k--) {
        const r = rects[k];
        if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) return r.node;
      }
      return null;
    }

    canvas.addEventListener('mousemove', (event) => {
      const node = hit(event);
      if (!node) { tip.hidden = true; return; }
      const lines = [node.label, `${fmt(node.size)} bytes (${((100 * node.size) / (root.size || 1)).toFixed(2)}% of ${memory.name})`];
      if (node.kind === 'more') lines.push(`${fmt(node.count)} items too small to draw; zoom in to see them`);
      if (node.address !== undefined) {
        let runs = '';
        if (node.kind === 'symbol') runs = symAddress(node.sym);
        else if (node.kind === 'part') runs = sectionRuns(node.section) + pOffset[node.part];
        lines.push(`at ${hex(node.address)} in ${memory.name}` + (runs !== '' && runs !== node.address ? `, runs at ${hex(runs)}` : ''));
      }
      const path = pathOf(node).slice(1, -1).map((n) => (n.kind === 'part' ? `${n.label} (${moduleFile(pModule[n.part])})` : n.label));
      if (node.kind === 'part') path.push(moduleFile(pModule[node.part]));
      if (path.length) lines.push(path.join(' \u203A '));
      tip.textContent = lines.join('\n');
      tip.hidden = false;
      const x = Math.min(event.clientX + 14, window.innerWidth - tip.offsetWidth - 8);
      const y = event.clientY + 18 + tip.offsetHeight > window.innerHeight ? event.clientY - tip.offsetHeight - 10 : event.clientY + 18;
      tip.style.left = `${x}px`;
      tip.style.top = `${y}px`;
    });
    canvas.addEventListener('mouseleave', () => { tip.hidden = true; });
    // a click zooms one level toward the place clicked
    canvas.addEventListener('click', (event) => {
      const node = hit(event);
      if (!node) return;
      const path = pathOf(node);
      const next = path[path.indexOf(top) + 1];
      if (next && next.kind !== 'more' && (kidsOf(next) || []).length > 0) {
        top = next;
        draw();
      }
    });
    return {section, draw, used: root.size};
  }

  // ---- tables that sort, filter and draw only the rows in sight -----------

  // columns: {title, numeric, text(id), key(id)}; rows: every row id;
  // bytes(id): what a row counts toward the total; match(id, query).
  function tableView({rows, columns, bytes, match, rowClass, rowTitle, sortColumn}) {
    const scroller = el('div', {className: 'scroller'});
    const table = el('table');
    const head = el('tr');
    const tbody = el('tbody');
    table.append(el('thead', {}, head), tbody);
    scroller.append(table);
    const foot = el('p', {className: 'table-foot'});
    let sorted = rows, shown = rows, sortBy = sortColumn, direction = -1, query = '', rowHeight = 21;

    columns.forEach((c, k) => {
      const th = el('th', {textContent: c.title, className: c.numeric ? 'n' : ''});
      if (c.width) th.style.width = c.width;
      th.addEventListener('click', () => {
        direction = sortBy === k ? -direction : c.numeric ? -1 : 1;
        sortBy = k;
        sort();
      });
      head.append(th);
    });

    // Rows in the order of a column, ties in the order of their ids. Numbers
    // below 2^32 of fewer than 2^21 rows sort as one array of doubles, key
    // and id in one value, without a comparison function.
    function sort() {
      const key = columns[sortBy].key;
      const n = rows.length, span = 2 ** 21;
      if (columns[sortBy].numeric && n < span && rows.every((id) => key(id) < 2 ** 32)) {
        const packed = new Float64Array(n);
        rows.forEach((id, k) => { packed[k] = direction * key(id) * span + k; });
        packed.sort();
        sorted = new Uint32Array(n);
        for (let k = 0; k < n; k++) sorted[k] = rows[((packed[k] % span) + span) % span];
      } else {
        const keys = rows.map((id) => [key(id), id]);
        keys.sort((a, b) => (a[0] < b[0] ? -direction : a[0] > b[0] ? direction : a[1] - b[1]));
        sorted = keys.map((k) => k[1]);
      }
      head.childNodes.forEach((th, k) => {
        if (k === sortBy) th.setAttribute('aria-sort', direction > 0 ? 'ascending' : 'descending');
        else th.removeAttribute('aria-sort');
      });
      filter(query);
    }

    function filter(q) {
      query = q;
      shown = q ? sorted.filter((id) => match(id, q)) : sorted;
      let total = 0;
      for (const id of shown) total += bytes(id);
      foot.replaceChildren(`${fmt(shown.length)} of ${fmt(rows.length)} rows, `, el('b', {}, fmt(total)), ' bytes');
      foot.dataset.rows = String(shown.length);
      foot.dataset.total = String(total);
      scroller.scrollTop = 0;
      render();
    }

    const spacer = () => el('tr', {className: 'spacer'}, el('td', {colSpan: columns.length}));
    const above = spacer(), below = spacer();
    // the rows in sight, and again while drawing them made the box taller
    function render() {
      for (let height = -1; height !== scroller.clientHeight;) {
        height = scroller.clientHeight;
        renderRows();
      }
    }
    function renderRows() {
      const first = Math.max(0, Math.floor(scroller.scrollTop / rowHeight) - 8);
      const last = Math.min(shown.length, Math.ceil((scroller.scrollTop + scroller.clientHeight) / rowHeight) + 8);
      above.firstChild.style.height = `${first * rowHeight}px`;
      below.firstChild.style.height = `${(shown.length - last) * rowHeight}px`;
      const rowsInSight = [];
      for (let n = first; n < last; n++) {
        const id = shown[n];
        const tr = el('tr', {className: rowClass(id)});
        const title = rowTitle(id);
        if (title) tr.title = title;
        for (const c of columns) tr.append(el('td', {textContent: c.text(id), className: c.numeric ? 'n' : c.className || ''}));
        rowsInSight.push(tr);
      }
      tbody.replaceChildren(above, ...rowsInSight, below);
    }
    let pending = false;
    scroller.addEventListener('scroll', () => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => { pending = false; render(); });
    });
    return {
      element: el('div', {}, scroller, foot),
      foot,
      start() {
        sort();
        const row = tbody.querySelector('tr:not(.spacer)');
        if (row && row.offsetHeight > 0 && row.offsetHeight !== rowHeight) {
          rowHeight = row.offsetHeight;
          render();
        }
      },
      filter,
    };
  }

  function symbolTable() {
    // the definitions, then each part's unnamed rest
    const rows = [];
    for (let i = 0; i < nSym; i++) rows.push(i);
    for (let p = 0; p < nParts; p++) if (pRest[p] > 0) rows.push(nSym + p);
    const part = (id) => (id < nSym ? symPart[id] : id - nSym);
    let lower = null;
    return tableView({
      rows,
      columns: [
        {title: 'Symbol', text: (id) => (id < nSym ? names[id] : '(no symbol: the rest of the part)'),
          key: (id) => (id < nSym ? names[id] : '\uffff')},
        {title: 'Bytes', numeric: true, width: '110px', text: (id) => fmt(id < nSym ? sizes[id] : pRest[id - nSym]),
          key: (id) => (id < nSym ? sizes[id] : pRest[id - nSym])},
        {title: 'Section', width: '80px', text: (id) => (part(id) < 0 ? 'unknown' : sectionName(pSection[part(id)])),
          key: (id) => (part(id) < 0 ? 9 : pSection[part(id)])},
        {title: 'Runs at', width: '110px', className: 'addr',
          text: (id) => hex(id < nSym ? symAddress(id) : sectionRuns(pSection[id - nSym]) + pOffset[id - nSym]),
          key: (id) => (id < nSym ? symAddress(id) : sectionRuns(pSection[id - nSym]) + pOffset[id - nSym])},
        {title: 'Module', text: (id) => (part(id) < 0 ? '-' : `${moduleLabel(pModule[part(id)])} (${moduleFile(pModule[part(id)])})`),
          key: (id) => (part(id) < 0 ? '' : moduleLabel(pModule[part(id)]))},
      ],
      bytes: (id) => (id < nSym ? counted[id] : pRest[id - nSym]),
      match: (id, q) => {
        if (id >= nSym) return false;
        lower ??= names.map((n) => n.toLowerCase());
        return lower[id].includes(q);
      },
      rowClass: (id) => (id >= nSym ? 'rest' : aliasOf[id] >= 0 ? 'alias' : ''),
      rowTitle: (id) => (id < nSym && aliasOf[id] >= 0 ? `the same bytes as ${names[aliasOf[id]]}, counted there` : ''),
      sortColumn: 1,
    });
  }

  function moduleTable() {
    const bytes = modules.map(() => [0, 0, 0, 0, 0]);
    for (let p = 0; p < nParts; p++) if (pSection[p] < 5) bytes[pModule[p]][pSection[p]] += pSize[p];
    const total = bytes.map((b) => b.reduce((s, n) => s + n, 0));
    const rows = [];
    modules.forEach((m, i) => { if (m[0] !== null) rows.push(i); });
    const columns = [
      {title: 'Module', text: moduleLabel, key: moduleLabel},
      {title: 'File', text: moduleFile, key: moduleFile},
    ];
    SECTIONS.forEach((name, s) => columns.push({title: name, numeric: true, width: '90px', text: (m) => fmt(bytes[m][s]), key: (m) => bytes[m][s]}));
    columns.push({title: 'Bytes', numeric: true, width: '100px', text: (m) => fmt(total[m]), key: (m) => total[m]});
    return tableView({
      rows,
      columns,
      bytes: (m) => total[m],
      match: (m, q) => moduleLabel(m).toLowerCase().includes(q) || moduleFile(m).toLowerCase().includes(q),
      rowClass: () => '',
      rowTitle: () => '',
      sortColumn: columns.length - 1,
    });
  }

  // ---- the page ----------------------------------------------------------

  const views = document.getElementById('views');
  const regionOf = (name) => data.regions.find((r) => r[0] === name);
  const maps = data.memories.map((m) => treemapView(m, regionOf(m.name)));
  for (const map of maps) views.append(map.section);

  const tables = [['Symbols', symbolTable()], ['Modules', moduleTable()]];
  const tabs = el('div', {className: 'tabs', role: 'tablist'});
  const search = el('input', {type: 'search', placeholder: 'Filter by name'});
  const panes = [];
  tables.forEach(([title, table], k) => {
    const tab = el('button', {type: 'button', textContent: title, role: 'tab'});
    tab.setAttribute('aria-selected', String(k === 0));
    const pane = el('div', {role: 'tabpanel', hidden: k !== 0}, table.element);
    pane.id = `table-${title.toLowerCase()}`;
    tab.addEventListener('click', () => {
      tabs.querySelectorAll('button').forEach((b) => b.setAttribute('aria-selected', String(b === tab)));
      panes.forEach((p) => { p.hidden = p !== pane; });
      table.filter(search.value.trim().toLowerCase());
    });
    tabs.append(tab);
    panes.push(pane);
  });
  tabs.append(search);
  let typing = 0;
  search.addEventListener('input', () => {
    clearTimeout(typing);
    typing = setTimeout(() => {
      const shown = tables[panes.findIndex((p) => !p.hidden)][1];
      shown.filter(search.value.trim().toLowerCase());
    }, 120);
  });
  views.append(tabs, ...panes);
  const time = el('p', {className: 'render-time', id: 'render-time'});
  views.append(time);

  document.getElementById('plain').remove();
  views.hidden = false;
  for (const map of maps) map.draw();
  for (const [, table] of tables) table.start();

  let resizing = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(() => maps.forEach((m) => m.draw()), 150);
  });
  // the time from the start of loading to the first frame after the first render
  requestAnimationFrame(() => setTimeout(() => {
    const ms = performance.now();
    time.dataset.ms = ms.toFixed(0);
    time.textContent = `Drawn ${fmt(Math.round(ms))} ms after the page began to load.`;
  }));
})();
