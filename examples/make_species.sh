#!/bin/sh
# Writes examples/species.tsv: 360 made-up mammal species of 17 real families in 7 orders, with
# a habitat and a diet each. The labels are invented; the associations are built in: a family
# leans to one habitat and one diet, more strongly in some orders than in others, and one
# species in 24 has no recorded diet (NA). The pseudo-random numbers are Park and Miller's
# minimal standard generator, whose products stay exact in awk's doubles, so every awk gives
# the same file:
#     sh examples/make_species.sh > examples/species.tsv
awk 'BEGIN {
    x = 20240607
    n = split("Muridae:Rodentia:Apodemus,Mus,Rattus Cricetidae:Rodentia:Microtus,Myodes,Cricetus " \
              "Sciuridae:Rodentia:Sciurus,Tamias,Spermophilus Gliridae:Rodentia:Glis,Eliomys " \
              "Soricidae:Eulipotyphla:Sorex,Crocidura,Neomys Talpidae:Eulipotyphla:Talpa,Desmana " \
              "Erinaceidae:Eulipotyphla:Erinaceus,Hemiechinus " \
              "Vespertilionidae:Chiroptera:Myotis,Pipistrellus,Nyctalus " \
              "Rhinolophidae:Chiroptera:Rhinolophus Molossidae:Chiroptera:Tadarida " \
              "Mustelidae:Carnivora:Mustela,Martes,Meles Canidae:Carnivora:Vulpes,Canis " \
              "Felidae:Carnivora:Felis,Lynx Cervidae:Artiodactyla:Cervus,Capreolus " \
              "Bovidae:Artiodactyla:Capra,Rupicapra Leporidae:Lagomorpha:Lepus,Oryctolagus " \
              "Ochotonidae:Lagomorpha:Ochotona", family, " ")
    split("forest grassland wetland urban mountain desert", habitat, " ")
    split("herbivore insectivore carnivore omnivore granivore", diet, " ")
    split("al an ar el en er il in is ol on or ul us at it", syllable, " ")
    print "species\tfamily\torder\thabitat\tdiet"
    for (i = 0; i < 360; i++) {
        split(family[i % n + 1], f, ":")
        g = split(f[3], genus, ",")
        # the leaning of a family: order by order, how often it keeps to its own habitat
        lean = index("RodentiaEulipotyphlaChiropteraCarnivoraArtiodactylaLagomorpha", f[2]) % 5 + 2
        h = (draw(10) < lean) ? (i % n) % 6 + 1 : draw(6) + 1
        d = (draw(10) < 6) ? (i % n) % 5 + 1 : draw(5) + 1
        name = genus[draw(g) + 1] "_" syllable[draw(16) + 1] syllable[draw(16) + 1] "us" i
        print name "\t" f[1] "\t" f[2] "\t" habitat[h] "\t" (i % 24 == 5 ? "NA" : diet[d])
    }
}
function draw(k) { x = (x * 16807) % 2147483647; return int(x / 2147483647 * k) }'
