// ac_peer DICT.tsv TEXT.txt OUT.txt [gloss] [dfa]: leftmost-longest replacement
// with the aho-corasick crate, UTF-8 in and out. Timings go to stderr.
use aho_corasick::{AhoCorasickBuilder, MatchKind};
use std::time::Instant;

fn ms(t: Instant) -> f64 {
    t.elapsed().as_secs_f64() * 1000.0
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() < 4 {
        eprintln!("usage: ac_peer DICT.tsv TEXT.txt OUT.txt [gloss] [dfa]");
        std::process::exit(2);
    }
    let gloss = args[4..].iter().any(|a| a == "gloss");
    let dfa = args[4..].iter().any(|a| a == "dfa");
    let start = Instant::now();

    let t = Instant::now();
    let dict = std::fs::read_to_string(&args[1]).expect("read dict");
    let (mut befores, mut afters) = (Vec::new(), Vec::new());
    for line in dict.lines() {
        if let Some((b, a)) = line.split_once('\t') {
            befores.push(b);
            afters.push(a);
        }
    }
    let read_dict = ms(t);

    let t = Instant::now();
    let ac = AhoCorasickBuilder::new()
        .match_kind(MatchKind::LeftmostLongest)
        .dfa(dfa)
        .build(&befores);
    let build = ms(t);

    let t = Instant::now();
    let text = std::fs::read_to_string(&args[2]).expect("read text");
    let read_text = ms(t);

    let t = Instant::now();
    let mut matches = String::from("-"); // counted in gloss mode only
    let out = if gloss {
        let mut out = String::with_capacity(text.len() * 2);
        let (mut k, mut n) = (0, 0usize);
        for m in ac.find_iter(&text) {
            out.push_str(&text[k..m.start()]);
            out.push_str(&text[m.start()..m.end()]);
            out.push('[');
            out.push_str(afters[m.pattern()]);
            out.push(']');
            k = m.end();
            n += 1;
        }
        out.push_str(&text[k..]);
        matches = n.to_string();
        out
    } else {
        ac.replace_all(&text, &afters)
    };
    let replace = ms(t);

    let t = Instant::now();
    std::fs::write(&args[3], out.as_bytes()).expect("write output");
    let write = ms(t);

    eprintln!(
        "rust: read dict {:.1} ms, build {:.1} ms, read text {:.1} ms, replace {:.1} ms, write {:.1} ms, total {:.1} ms; matches {}; {} pairs, {}",
        read_dict, build, read_text, replace, write, ms(start), matches, befores.len(),
        if dfa { "dfa" } else { "nfa" }
    );
}
